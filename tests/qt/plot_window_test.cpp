#include "qt/plot_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <string>
#include <vector>

#include "spectrum/level_summary.h"
#include "session/plot_view.h"
#include "qt/plot_window_host.h"
#include "support/plot_test_support.h"
#include "qt/twips.h"
#include "support/recording_services.h"

namespace quillon {
namespace {

using testing::PutSpectrum;

// Services as the application wires them: the window's RenderPlot, clear and
// hide come back to the host. Each drawing notes the view and the scroll bar
// at the moment it starts, so nesting shows in the record.
class HostedServices : public testing::RecordingServices {
 public:
  explicit HostedServices(SharedState& state) : state_(state), host(state, *this) {}

  struct Drawing {
    double lo, hi;
    int bar_min, bar_max, bar_value;
  };

  void RenderPlot() override {
    calls.push_back("RenderPlot");
    const QScrollBar* bar = host.Window() != nullptr ? host.Window()->pan_bar_ : nullptr;
    drawings.push_back({state_.PlotLambdaMin, state_.PlotLambdaMax, bar ? bar->minimum() : 0,
                        bar ? bar->maximum() : 0, bar ? bar->value() : 0});
    host.RenderPlot();
  }
  void ClearPlotWindow() override {
    calls.push_back("ClearPlotWindow");
    host.ClearPlotWindow();
  }
  void HidePlotWindow() override {
    calls.push_back("HidePlotWindow");
    host.HidePlotWindow();
  }

  std::vector<Drawing> drawings;

 private:
  SharedState& state_;

 public:
  PlotWindowHost host;
};

class PlotWindowTest : public ::testing::Test {
 protected:
  PlotWindowTest() : services(state) {
    // Two spectra covering 4000-7000 Angstroms.
    PutSpectrum(state, 1, 4000, 1, std::vector<double>(1500, 80), -280);
    PutSpectrum(state, 2, 5500, 1, std::vector<double>(1500, 120), -260);
    state.DataLambdaMin = 4000;
    state.DataLambdaMax = 7000;
    state.PlotLambdaMin = 4000;
    state.PlotLambdaMax = 7000;
  }
  ~PlotWindowTest() override {
    // Program end: the window goes without its unload handler.
  }

  PlotWindow& Open() {
    services.RenderPlot();
    PlotWindow* window = services.host.Window();
    EXPECT_NE(window, nullptr);
    services.drawings.clear();
    services.calls.clear();
    return *window;
  }

  static ScrollBarSettings BarOf(const PlotWindow& w) {
    return {w.pan_bar_->minimum(), w.pan_bar_->maximum(), w.pan_bar_->value(), w.pan_bar_->singleStep(),
            w.pan_bar_->pageStep()};
  }

  SharedState state;
  HostedServices services;
};

TEST_F(PlotWindowTest, FirstDrawingLoadsTheWindowWhileBusy) {
  services.RenderPlot();
  PlotWindow* w = services.host.Window();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), "Plot Spectra");
  EXPECT_EQ(services.drawings.size(), 1u) << "the load's own settings draw nothing";
  EXPECT_TRUE(state.PlotWindowOpen);
  EXPECT_FALSE(state.RenderBusy);
  EXPECT_EQ(BarOf(*w), (ScrollBarSettings{5500, 5500, 5500, 300, 3000}));
  EXPECT_NEAR(OuterWidth(w), 10000, 15);
  EXPECT_NEAR(OuterHeight(w), 5000, 15);
  // The main window's offset cells of the loaded rows, without a leading blank.
  EXPECT_EQ(services.calls, (std::vector<std::string>{"RenderPlot", "SetOffsetText 1 -280", "SetOffsetText 2 -260"}));
  EXPECT_FALSE(w->Drawing().Lines().empty());
  EXPECT_EQ(w->wavelength_title_->text(), "Wavelength /Angstroms");
  EXPECT_TRUE(w->font().bold() || w->ClientArea()->font().bold());
  EXPECT_DOUBLE_EQ(w->ClientArea()->font().pointSizeF(), 8.25);
}

TEST_F(PlotWindowTest, ControlsMenuAndAccessibleNames) {
  PlotWindow& w = Open();
  EXPECT_EQ(w.zoom_in_button_->text(), "In");
  EXPECT_EQ(w.zoom_out_button_->text(), "Out");
  EXPECT_EQ(w.full_range_button_->text(), "Full Range");
  EXPECT_EQ(w.wavelength_caption_->text(), "Wavelength");
  EXPECT_EQ(w.intensity_caption_->text(), "Intensity");
  EXPECT_EQ(w.zoom_caption_->text(), "Zoom");
  std::vector<QString> menu;
  for (QAction* a : w.file_menu_->actions()) menu.push_back(a->isSeparator() ? QString("-") : a->text());
  EXPECT_EQ(menu, (std::vector<QString>{"Print Setup ...", "Print", "Export ...", "-", "Exit"}));
  for (QWidget* child : w.ClientArea()->findChildren<QWidget*>()) {
    EXPECT_FALSE(child->accessibleName().isEmpty()) << child->objectName().toStdString();
  }
  for (QPushButton* b : {w.zoom_in_button_, w.zoom_out_button_, w.full_range_button_}) {
    EXPECT_EQ(b->accessibleName(), b->text());
  }
  // Bottom row for H = 5000: tops H - 1300, Zoom H - 1320, scroll bar H - 1660.
  const QWidget* area = w.ClientArea();
  EXPECT_EQ(w.wavelength_caption_->geometry(), TwipsToPixelRect(120, 3700, 1095, 255, area));
  EXPECT_EQ(w.zoom_caption_->geometry(), TwipsToPixelRect(4560, 3680, 615, 255, area));
  EXPECT_EQ(w.pan_bar_->geometry(), TwipsToPixelRect(5280, 3340, 1935, 255, area));
  EXPECT_EQ(w.zoom_in_button_->geometry(), TwipsToPixelRect(4440, 3580, 735, 375, area));
}

TEST_F(PlotWindowTest, ZoomSequenceWithScrollBarAndRefusedFourthIn) {
  PlotWindow& w = Open();
  struct Step {
    double lo, hi;
    ScrollBarSettings bar;
  };
  const Step steps[] = {
      {4750, 6250, {4750, 6250, 5500, 150, 1500}},
      {5125, 5875, {4375, 6625, 5500, 75, 750}},
      {5312.5, 5687.5, {4188, 6812, 5500, 38, 375}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.lo);
    services.drawings.clear();
    const int clears = w.Drawing().ClearCount();
    w.zoom_in_button_->click();
    EXPECT_EQ(state.PlotLambdaMin, s.lo);
    EXPECT_EQ(state.PlotLambdaMax, s.hi);
    EXPECT_EQ(BarOf(w), s.bar);
    ASSERT_EQ(services.drawings.size(), 1u) << "In keeps the centre: no nested drawing";
    EXPECT_EQ(w.Drawing().ClearCount(), clears + 2) << "the button clears, then the renderer";
  }
  services.drawings.clear();
  const int clears = w.Drawing().ClearCount();
  w.zoom_in_button_->click();
  EXPECT_EQ(state.PlotLambdaMin, 5312.5);
  EXPECT_EQ(state.PlotLambdaMax, 5687.5);
  EXPECT_TRUE(services.drawings.empty()) << "a refused In draws nothing";
  EXPECT_EQ(w.Drawing().ClearCount(), clears);
}

TEST_F(PlotWindowTest, OutLimitedAtOneEndDrawsRecentredThenItsOwn) {
  // Reload with the view 4100-4400 so the scroll bar is built from it.
  Open().close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_EQ(services.host.Window(), nullptr);
  state.PlotLambdaMin = 4100;
  state.PlotLambdaMax = 4400;
  PlotWindow& w = Open();
  ASSERT_EQ(BarOf(w), (ScrollBarSettings{4150, 6850, 4250, 30, 300}));

  w.zoom_out_button_->click();
  EXPECT_EQ(state.PlotLambdaMin, 4000);
  EXPECT_EQ(state.PlotLambdaMax, 4550);
  // Button -> scroll-bar update: Min clamps the position to 4275, which runs
  // the scroll handler (drawing re-centred, before Max is set) -> the button draws.
  ASSERT_EQ(services.drawings.size(), 2u);
  EXPECT_EQ(services.drawings[0].lo, 4000);
  EXPECT_EQ(services.drawings[0].hi, 4550);
  EXPECT_EQ(services.drawings[0].bar_min, 4275);
  EXPECT_EQ(services.drawings[0].bar_max, 6850) << "nested inside the update, before Max";
  EXPECT_EQ(services.drawings[1].bar_max, 6725);
  EXPECT_EQ(BarOf(w), (ScrollBarSettings{4275, 6725, 4275, 55, 550}));
}

TEST_F(PlotWindowTest, OutOnTheWholeRangeAndFullRange) {
  PlotWindow& w = Open();
  w.zoom_out_button_->click();
  EXPECT_EQ(state.PlotLambdaMin, 4000);
  EXPECT_EQ(state.PlotLambdaMax, 7000);
  EXPECT_EQ(services.drawings.size(), 1u) << "drawn again, same view";

  w.zoom_in_button_->click();
  w.zoom_in_button_->click();
  services.drawings.clear();
  const int clears = w.Drawing().ClearCount();
  w.full_range_button_->click();
  EXPECT_EQ(state.PlotLambdaMin, 4000);
  EXPECT_EQ(state.PlotLambdaMax, 7000);
  EXPECT_EQ(BarOf(w), (ScrollBarSettings{5500, 5500, 5500, 300, 3000}));
  ASSERT_EQ(services.drawings.size(), 1u);
  EXPECT_EQ(w.Drawing().ClearCount(), clears + 1) << "Full Range does not clear first";
}

TEST_F(PlotWindowTest, ScrollingRecentresTheView) {
  PlotWindow& w = Open();
  w.zoom_in_button_->click();
  w.zoom_in_button_->click();  // 5125-5875, width 750
  services.drawings.clear();
  w.pan_bar_->setValue(6000);
  EXPECT_EQ(state.PlotLambdaMin, 5625);
  EXPECT_EQ(state.PlotLambdaMax, 6375);
  EXPECT_EQ(services.drawings.size(), 1u);

  // Scrolling does nothing while the renderer is busy.
  state.RenderBusy = true;
  w.pan_bar_->setValue(6200);
  state.RenderBusy = false;
  EXPECT_EQ(state.PlotLambdaMin, 5625);
  EXPECT_EQ(services.drawings.size(), 1u);
}

TEST_F(PlotWindowTest, ScrollBarCarriesInfraredWavelengths) {
  state.DataLambdaMin = 40000;
  state.DataLambdaMax = 50000;
  state.PlotLambdaMin = 40000;
  state.PlotLambdaMax = 50000;
  PlotWindow& w = Open();
  w.zoom_in_button_->click();
  EXPECT_EQ(BarOf(w), (ScrollBarSettings{42500, 47500, 45000, 500, 5000}));
  w.pan_bar_->setValue(47000);
  EXPECT_EQ(state.PlotLambdaMin, 44500);
  EXPECT_EQ(state.PlotLambdaMax, 49500);
}

TEST_F(PlotWindowTest, CursorReadOutOnAndInsideTheFrameEdges) {
  PlotWindow& w = Open();
  const float left = w.Frame().left, bottom = w.Frame().bottom;
  w.TrackCursor(0, 0, left, 1000);
  EXPECT_EQ(w.ClientArea()->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(w.wavelength_readout_->text(), "");
  EXPECT_EQ(w.intensity_readout_->text(), "");

  w.TrackCursor(0, 0, 5000, bottom - 1);
  EXPECT_EQ(w.ClientArea()->cursor().shape(), Qt::CrossCursor);
  EXPECT_EQ(w.intensity_readout_->text().toStdString(), "     -40");
  const QString wavelength = w.wavelength_readout_->text();
  EXPECT_EQ(wavelength.size(), 8);

  // On the bottom edge: arrow, read-outs keep their text.
  w.TrackCursor(0, 0, 5000, bottom);
  EXPECT_EQ(w.ClientArea()->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(w.wavelength_readout_->text(), wavelength);
  EXPECT_EQ(w.intensity_readout_->text().toStdString(), "     -40");

  // Real mouse motion reaches the handler in twips.
  const QPoint centre = TwipsToPixelRect((w.Frame().left + w.Frame().right) / 2.0,
                                         (w.Frame().top + w.Frame().bottom) / 2.0, 0, 0, w.ClientArea())
                            .topLeft();
  QTest::mouseMove(w.ClientArea(), centre);
  EXPECT_NE(w.wavelength_readout_->text(), wavelength);
}

TEST_F(PlotWindowTest, ResizeIgnoredWhileBusyOrNothingLoaded) {
  PlotWindow& w = Open();
  const QSize before = w.size();
  struct Case {
    const char* name;
    bool busy, loaded;
  };
  for (const Case& c : {Case{"Busy", true, true}, Case{"NothingLoaded", false, false}}) {
    SCOPED_TRACE(c.name);
    state.RenderBusy = c.busy;
    state.SpectraLoaded = c.loaded;
    w.resize(w.size() + QSize(40, 30));
    QCoreApplication::processEvents();
    w.Resized();
    EXPECT_EQ(state.PlotWidth, 10000);
    EXPECT_EQ(state.PlotHeight, 5000);
    EXPECT_TRUE(services.drawings.empty());
    state.RenderBusy = false;
    state.SpectraLoaded = true;
  }
  w.resize(before + QSize(150, 90));
  QCoreApplication::processEvents();
  EXPECT_NEAR(state.PlotWidth, OuterWidth(&w), 0.5);
  EXPECT_NEAR(state.PlotHeight, OuterHeight(&w), 0.5);
  ASSERT_EQ(services.drawings.size(), 1u) << "one drawing for the new size";
  EXPECT_EQ(w.Frame().right, state.PlotWidth - 415);
  EXPECT_EQ(w.pan_bar_->geometry().top(), TwipsToPixels(state.PlotHeight - 1660, w.ClientArea()));
  // The same size reported again by the window system is not handled twice.
  QResizeEvent again(w.size(), w.size());
  QApplication::sendEvent(&w, &again);
  EXPECT_EQ(services.drawings.size(), 1u);
}

TEST_F(PlotWindowTest, ExitHidesWithoutUnloading) {
  PlotWindow& w = Open();
  w.zoom_in_button_->click();
  w.TrackCursor(0, 0, 5000, 1000);
  const QString readout = w.wavelength_readout_->text();
  state.PlotLeft = 1;  // would be overwritten by an unload
  w.exit_action_->trigger();
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(services.host.Window(), &w);
  EXPECT_TRUE(state.PlotWindowOpen);
  EXPECT_EQ(state.PlotLeft, 1);
  services.RenderPlot();  // the main window's Plot Spectra
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.wavelength_readout_->text(), readout);
  EXPECT_EQ(BarOf(w), (ScrollBarSettings{4750, 6250, 5500, 150, 1500}));
}

TEST_F(PlotWindowTest, CloseBoxUnloadsAndRecordsGeometry) {
  state.PlotLeft = 500;
  state.PlotTop = 700;
  PlotWindow& w = Open();
  state.PlotLeft = state.PlotTop = state.PlotWidth = state.PlotHeight = 0;
  w.close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(services.host.Window(), nullptr);
  EXPECT_FALSE(state.PlotWindowOpen);
  // Not moved or resized: exactly the geometry it was given.
  EXPECT_EQ(state.PlotLeft, 500);
  EXPECT_EQ(state.PlotTop, 700);
  EXPECT_EQ(state.PlotWidth, 10000);
  EXPECT_EQ(state.PlotHeight, 5000);
  // The next drawing creates it afresh.
  services.RenderPlot();
  EXPECT_NE(services.host.Window(), nullptr);
}

TEST_F(PlotWindowTest, HostClearsAndHidesOnlyALoadedWindow) {
  services.host.ClearPlotWindow();
  services.host.HidePlotWindow();
  EXPECT_EQ(services.host.Window(), nullptr);
  PlotWindow& w = Open();
  services.host.ClearPlotWindow();
  EXPECT_TRUE(w.Drawing().Lines().empty());
  services.host.HidePlotWindow();
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(state.PlotWindowOpen);
}

// The window's surface has pixels: a long spectrum is recorded as a few
// lines per pixel column, however many samples it holds.
TEST_F(PlotWindowTest, ALongSpectrumIsRecordedAsFewLinesAsTheWindowHasColumns) {
  std::vector<double> levelled(400000);
  for (std::size_t i = 0; i < levelled.size(); ++i) levelled[i] = 80 + static_cast<double>((i * 7919) % 41);
  PutSpectrum(state, 1, 4000, 3000.0 / 400000, levelled, -280);
  PlotWindow& w = Open();
  const auto columns = static_cast<std::size_t>(w.ClientArea()->width() * w.ClientArea()->devicePixelRatioF());
  EXPECT_LT(w.Drawing().LineCount(), 6 * columns + 300);
  EXPECT_EQ(SlotSpectrum(state, 1).summary, nullptr) << "the renderer summarised it for the drawing alone";
}

TEST_F(PlotWindowTest, RepaintUsesTheLastDrawingOnly) {
  PlotWindow& w = Open();
  const QImage first = w.ClientArea()->grab().toImage();
  const double lo = state.PlotLambdaMin;
  state.PlotLambdaMin = 5000;  // a change nobody has drawn yet
  state.Slots[1].offset = 0;
  w.ClientArea()->repaint();
  const QImage second = w.ClientArea()->grab().toImage();
  EXPECT_EQ(first, second);
  EXPECT_TRUE(services.drawings.empty());
  EXPECT_EQ(state.PlotLambdaMin, 5000);
  state.PlotLambdaMin = lo;
}

TEST_F(PlotWindowTest, KeyboardGoesThroughTheSameHandlers) {
  PlotWindow& w = Open();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_Plus);
  EXPECT_EQ(state.PlotLambdaMin, 4750);
  QTest::keyClick(&w, Qt::Key_Right);
  EXPECT_EQ(w.pan_bar_->value(), 5650);
  EXPECT_EQ(state.PlotLambdaMin, 4900);
  QTest::keyClick(&w, Qt::Key_Left);
  EXPECT_EQ(state.PlotLambdaMin, 4750);
  QTest::keyClick(&w, Qt::Key_Minus);
  EXPECT_EQ(state.PlotLambdaMin, 4000);
  EXPECT_EQ(state.PlotLambdaMax, 7000);
  QTest::keyClick(&w, Qt::Key_Plus);
  QTest::keyClick(&w, Qt::Key_0);
  EXPECT_EQ(state.PlotLambdaMin, 4000);
  EXPECT_EQ(w.zoom_in_button_->text(), "In");
  EXPECT_EQ(w.print_action_->text(), "Print");
  EXPECT_EQ(w.print_action_->shortcut(), QKeySequence(QKeySequence::Print));
}

TEST_F(PlotWindowTest, HomeIsFullRangeAndCtrlPRunsThePrintEntry) {
  PlotWindow& w = Open();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::keyClick(&w, Qt::Key_Plus);
  QTest::keyClick(&w, Qt::Key_Plus);
  ASSERT_EQ(state.PlotLambdaMin, 5125);
  QTest::keyClick(&w, Qt::Key_Home);
  EXPECT_EQ(state.PlotLambdaMin, 4000);
  EXPECT_EQ(state.PlotLambdaMax, 7000);
  EXPECT_EQ(BarOf(w), (ScrollBarSettings{5500, 5500, 5500, 300, 3000}));

  // Ctrl+P triggers the menu's own entry (its printing is not wanted here).
  QObject::disconnect(w.print_action_, &QAction::triggered, &w, nullptr);
  int printed = 0;
  QObject::connect(w.print_action_, &QAction::triggered, &w, [&printed] { ++printed; });
  QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
  EXPECT_EQ(printed, 1);
}

// One wheel event over the client area at `at` (pixels), `delta` in eighths of a degree.
void Wheel(QWidget* target, QPoint at, int delta) {
  QWheelEvent event(QPointF(at), QPointF(target->mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &event);
}

TEST_F(PlotWindowTest, TheWheelOverThePlotPressesInAndOut) {
  PlotWindow& w = Open();
  QWidget* area = w.ClientArea();
  const QPoint inside = TwipsToPixelRect((w.Frame().left + w.Frame().right) / 2.0,
                                         (w.Frame().top + w.Frame().bottom) / 2.0, 0, 0, area)
                            .topLeft();
  Wheel(area, inside, 120);  // one notch away from the user: In
  EXPECT_EQ(state.PlotLambdaMin, 4750);
  EXPECT_EQ(state.PlotLambdaMax, 6250);
  EXPECT_EQ(BarOf(w), (ScrollBarSettings{4750, 6250, 5500, 150, 1500}));
  Wheel(area, inside, 60);  // half a notch does nothing yet
  EXPECT_EQ(state.PlotLambdaMin, 4750);
  Wheel(area, inside, 60);
  EXPECT_EQ(state.PlotLambdaMin, 5125);
  Wheel(area, inside, 120);
  EXPECT_EQ(state.PlotLambdaMin, 5312.5);
  // A fourth In would pass a tenth of the range: refused, nothing redrawn.
  services.drawings.clear();
  Wheel(area, inside, 120);
  EXPECT_EQ(state.PlotLambdaMin, 5312.5);
  EXPECT_TRUE(services.drawings.empty());
  // Towards the user: Out, as the button does; two notches in one event press it twice.
  Wheel(area, inside, -240);
  EXPECT_EQ(state.PlotLambdaMin, 4750);
  EXPECT_EQ(state.PlotLambdaMax, 6250);
  // Over a button the wheel is not the plot's.
  Wheel(w.zoom_in_button_, QPoint(3, 3), 120);
  EXPECT_EQ(state.PlotLambdaMin, 4750);
}

TEST_F(PlotWindowTest, ClientAreaRendersDrawingAndControlsAtAnyScale) {
  PlotWindow& w = Open();
  const QImage screen = w.GrabClientArea(1.0);
  const QImage twice = w.GrabClientArea(2.0);
  ASSERT_EQ(twice.size(), screen.size() * 2);
  // The frame's top-left corner is black at both scales.
  const QPoint corner = TwipsToPixelRect(w.Frame().left, w.Frame().top, 0, 0, w.ClientArea()).topLeft();
  EXPECT_EQ(QColor(screen.pixel(corner)), QColor(Qt::black));
  EXPECT_EQ(QColor(twice.pixel(corner * 2 + QPoint(1, 1))), QColor(Qt::black));
  // The "In" button is drawn too: its area is not plain background.
  const QRect in = w.zoom_in_button_->geometry();
  bool varied = false;
  for (int x = in.left(); x <= in.right() && !varied; ++x)
    varied = screen.pixel(x, in.center().y()) != screen.pixel(in.left() - 2, in.center().y() - 30);
  EXPECT_TRUE(varied);
}

}  // namespace
}  // namespace quillon
