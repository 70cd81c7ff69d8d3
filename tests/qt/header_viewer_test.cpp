#include "qt/header_viewer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <memory>
#include <string>
#include <vector>

#include "qt/twips.h"
#include "support/recording_services.h"

namespace quillon {
namespace {

std::string Card(int slot, int k) {
  std::string card = "S" + std::to_string(slot) + "CARD" + std::to_string(k) + " = 'VALUE'";
  card.resize(80, ' ');
  return card;
}

void FillHeader(SharedState& state, int slot, int count) {
  auto header = std::make_shared<SpectrumHeader>();
  header->cards.assign(1, "");  // card 0 belongs to no card
  for (int k = 1; k <= count; ++k) header->cards.push_back(Card(slot, k));
  header->line_count = static_cast<int16_t>(count);
  state.Slots[slot].header = header;
  state.Slots[slot].loaded = true;
}

std::vector<std::string> Cards(int slot, int first, int last) {
  std::vector<std::string> cards;
  for (int k = first; k <= last; ++k) cards.push_back(Card(slot, k));
  return cards;
}

class HeaderViewerWindow : public ::testing::Test {
 protected:
  // Opens the viewer as the Hdr button of `slot` does.
  HeaderViewer* Open(int16_t slot) {
    state.CurrentSlot = slot;
    if (viewer.isNull()) viewer = new HeaderViewer(state, services);
    viewer->ShowCardsFromTop(slot);
    QApplication::processEvents();
    return viewer;
  }
  void TearDown() override { delete viewer.data(); }

  SharedState state;
  testing::RecordingServices services;
  QPointer<HeaderViewer> viewer;
};

TEST_F(HeaderViewerWindow, ThirtyCardHeaderShrinksAndHdrPrintsFromCardOne) {
  FillHeader(state, 1, 30);
  HeaderViewer* w = Open(1);
  EXPECT_EQ(w->windowTitle(), "Display Fits Hdr - 2D Spectrum");
  EXPECT_EQ(w->Logic().Height(), 6395);
  EXPECT_EQ(state.HdrHeight, 6395);
  EXPECT_EQ(w->frameGeometry().height(), TwipsToPixels(6395, w));
  EXPECT_TRUE(w->ScrollBar()->isHidden());
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(1, 1, 30));

  // A late report of the size the viewer set itself changes nothing.
  QApplication::processEvents();
  EXPECT_EQ(w->Logic().Height(), 6395);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(1, 1, 30));
  EXPECT_EQ(services.calls, std::vector<std::string>{});
}

TEST_F(HeaderViewerWindow, Window8340HighScrollsByTheCardArithmetic) {
  FillHeader(state, 1, 100);
  state.HdrHeight = 8340;
  HeaderViewer* w = Open(1);
  QScrollBar* bar = w->ScrollBar();
  ASSERT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->minimum(), 20);
  EXPECT_EQ(bar->maximum(), 80);
  EXPECT_EQ(bar->value(), 20);
  EXPECT_EQ(bar->singleStep(), 1);
  EXPECT_EQ(bar->pageStep(), 10);
  EXPECT_EQ(bar->geometry(), TwipsToPixelRect(3000 - 360, 0, 255, 8340 - 500, w));

  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(1, 3, 43));
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(1, 62, 100));
  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(1, 1, 41));
}

TEST_F(HeaderViewerWindow, SecondRowIsPrintedFromTheTopWithTheOldRange) {
  FillHeader(state, 1, 100);
  FillHeader(state, 2, 50);
  state.HdrHeight = 8340;
  Open(1);
  const QRect before = viewer->geometry();
  HeaderViewer* w = Open(2);
  EXPECT_EQ(w->geometry(), before);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(2, 1, 50));
  EXPECT_EQ(w->ScrollBar()->maximum(), 80);
  w->ScrollBar()->setValue(80);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(2, 12, 50));
}

TEST_F(HeaderViewerWindow, UserResizeIsHandledOnceAndRecorded) {
  FillHeader(state, 1, 100);
  HeaderViewer* w = Open(1);
  ResizeOuter(w, 6000, 8340);  // as the user drags the frame
  QApplication::processEvents();
  EXPECT_EQ(state.HdrWidth, 6000);
  EXPECT_EQ(state.HdrHeight, 8340);
  EXPECT_EQ(w->ScrollBar()->minimum(), 20);
  EXPECT_EQ(w->ScrollBar()->maximum(), 80);
  // The value the 10000-high window gave (24) stays within the new range.
  EXPECT_EQ(w->ScrollBar()->value(), 24);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(1, 5, 45));
}

TEST_F(HeaderViewerWindow, CardsLineUpInOneLineEach) {
  FillHeader(state, 1, 30);
  state.HdrWidth = 12000;
  HeaderViewer* w = Open(1);
  const QFontMetrics metrics(w->CardFont());
  EXPECT_TRUE(metrics.height() <= static_cast<int>(w->LinePixels()));
  EXPECT_EQ(metrics.horizontalAdvance(QString(80, 'W')), metrics.horizontalAdvance(QString(80, 'i')));

  // Ink in each of the 30 line bands and none below the last.
  const QImage image = w->grab().toImage();
  const QColor background = w->palette().color(QPalette::Window);
  auto ink_rows = [&](int top, int bottom) {
    int rows = 0;
    for (int y = std::max(0, top); y < std::min(bottom, image.height()); ++y) {
      for (int x = 0; x < w->ScrollBar()->x() && x < image.width(); ++x) {
        if (image.pixelColor(x, y) != background) {
          ++rows;
          break;
        }
      }
    }
    return rows;
  };
  for (int k = 0; k < 30; ++k) {
    const int top = TwipsToPixels(k * 194.5, w);
    const int bottom = TwipsToPixels((k + 1) * 194.5, w);
    EXPECT_GT(ink_rows(top, bottom), 0) << "line " << k;
  }
  EXPECT_EQ(ink_rows(TwipsToPixels(30 * 194.5, w), image.height()), 0);
}

TEST_F(HeaderViewerWindow, ReopensWhereItWasClosed) {
  FillHeader(state, 1, 100);
  HeaderViewer* w = Open(1);
  w->move(150, 90);
  ResizeOuter(w, 4500, 9000);
  QApplication::processEvents();
  w->close();
  QApplication::processEvents();
  EXPECT_TRUE(viewer.isNull());
  EXPECT_EQ(state.HdrLeft, PixelsToTwips(150, nullptr));
  EXPECT_EQ(state.HdrTop, PixelsToTwips(90, nullptr));
  EXPECT_EQ(state.HdrWidth, 4500);
  EXPECT_EQ(state.HdrHeight, 9000);

  w = Open(1);
  EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(150, 90));
  EXPECT_EQ(w->Logic().Height(), 9000);
}

TEST_F(HeaderViewerWindow, UnmovedWindowGivesBackItsStoredPosition) {
  FillHeader(state, 1, 100);
  state.HdrLeft = 500;  // 33.3 pixels at 96 DPI
  state.HdrTop = 500;
  Open(1)->close();
  QApplication::processEvents();
  EXPECT_EQ(state.HdrLeft, 500);
  EXPECT_EQ(state.HdrTop, 500);
}

// ---- The bottom position of a long header, as the user reaches it ----------

enum class Drive { kArrow, kPage, kDrag };

struct BottomCase {
  const char* name;
  Drive drive;
  int16_t height;      // twips
  int first, last;     // the cards the bottom position prints, top first
};
void PrintTo(const BottomCase& c, std::ostream* os) { *os << c.name; }

class HeaderViewerBottom : public HeaderViewerWindow, public ::testing::WithParamInterface<BottomCase> {
 protected:
  // Presses the arrow (or the trough below the thumb) until the bar stops, as a user clicks.
  static void ClickUntilItStops(QScrollBar* bar, QAbstractSlider::SliderAction action) {
    for (int guard = 0; guard < 1000; ++guard) {
      const int before = bar->value();
      bar->triggerAction(action);
      QApplication::processEvents();
      if (bar->value() == before) return;
    }
    FAIL() << "the bar never stopped";
  }

  // Takes the thumb with the mouse and drags it past the bottom arrow.
  static void DragThumbToTheBottom(QScrollBar* bar) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    const QRect thumb = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
    ASSERT_TRUE(thumb.isValid());
    QPoint at = thumb.center();
    auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
      QMouseEvent event(type, QPointF(at), bar->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
      QApplication::sendEvent(bar, &event);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(bar->isSliderDown());
    while (at.y() < bar->height() + 40) {  // in steps, as a hand moves
      at.ry() += 7;
      send(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
    }
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    QApplication::processEvents();
  }

  // The window as it must look: the given cards, one per 194.5-twip line from
  // the top, in the window's card font, and nothing else left of the bar.
  static QImage ExpectedCards(HeaderViewer* w, const QImage& shown, int first, int last) {
    QImage expected(shown.size(), shown.format());
    expected.setDevicePixelRatio(shown.devicePixelRatio());
    expected.fill(w->palette().color(QPalette::Window));
    QPainter painter(&expected);
    painter.setFont(w->CardFont());
    painter.setPen(w->palette().color(QPalette::WindowText));
    const QFontMetrics metrics(w->CardFont());
    for (int k = first; k <= last; ++k) {
      const int top = TwipsToPixels((k - first) * 194.5, w);
      painter.drawText(0, top + metrics.ascent(), QString::fromStdString(Card(1, k)));
    }
    return expected;
  }
};

TEST_P(HeaderViewerBottom, ShowsAFullWindowOfTheLastCards) {
  const BottomCase& c = GetParam();
  FillHeader(state, 1, 179);
  state.HdrHeight = c.height;
  HeaderViewer* w = Open(1);
  QScrollBar* bar = w->ScrollBar();
  ASSERT_TRUE(bar->isVisible());

  switch (c.drive) {
    case Drive::kArrow: ClickUntilItStops(bar, QAbstractSlider::SliderSingleStepAdd); break;
    case Drive::kPage: ClickUntilItStops(bar, QAbstractSlider::SliderPageStepAdd); break;
    case Drive::kDrag: DragThumbToTheBottom(bar); break;
  }
  ASSERT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(w->Logic().ScrollBar().value, bar->maximum());
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(1, c.first, c.last));

  // The last card ends within the window, with no more room below it than
  // the 560 twips the rule keeps for the frame and two lines.
  const int lines = c.last - c.first + 1;
  const int last_bottom = TwipsToPixels(lines * 194.5, w);
  EXPECT_LE(last_bottom, w->height());
  EXPECT_GT(last_bottom, w->height() - TwipsToPixels(560 + 2 * 194.5, w));

  // Painted: exactly those cards at their lines, left of the bar.
  const QImage shown = w->grab().toImage();
  const QImage expected = ExpectedCards(w, shown, c.first, c.last);
  const int text_width = bar->x();
  int differing_rows = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < text_width; ++x) {
      if (shown.pixel(x, y) != expected.pixel(x, y)) {
        ++differing_rows;
        break;
      }
    }
  }
  EXPECT_EQ(differing_rows, 0);

  // Widening the window at the bottom keeps a full window of cards.
  ResizeOuter(w, 6000, c.height);
  QApplication::processEvents();
  EXPECT_EQ(w->Logic().PrintedLines().back(), Card(1, 179));
  EXPECT_GE(static_cast<int>(w->Logic().PrintedLines().size()), lines - 1);
}

// The viewer keeps the height it shrank to for a short header: after the
// 19-card header of a shipped example it opens 19 lines high (4256 twips), and
// the bottom position of a 179-card header then prints the last 18 cards, one
// line short of the window, whatever the width.
TEST_F(HeaderViewerBottom, AfterANineteenCardHeaderItOpensNineteenLinesHigh) {
  FillHeader(state, 1, 179);
  FillHeader(state, 2, 19);
  Open(2)->close();
  QApplication::processEvents();
  ASSERT_TRUE(viewer.isNull());
  EXPECT_EQ(state.HdrHeight, 4256);

  HeaderViewer* w = Open(1);
  EXPECT_EQ(w->frameGeometry().height(), TwipsToPixels(4256, w));
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(1, 1, 179));  // the Hdr button prints from card 1
  QScrollBar* bar = w->ScrollBar();
  ResizeOuter(w, 6000, 4256);  // the window is widened: a resize sets the range
  QApplication::processEvents();
  ASSERT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->minimum(), 10);
  EXPECT_EQ(bar->maximum(), 170);
  ClickUntilItStops(bar, QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(1, 162, 179));

  // Painted: those 18 cards from the top, the last one ending within the window
  // with no more than the frame and two lines below it.
  const QImage shown = w->grab().toImage();
  const QImage expected = ExpectedCards(w, shown, 162, 179);
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < bar->x(); ++x) {
      ASSERT_EQ(shown.pixel(x, y), expected.pixel(x, y)) << "at " << x << "," << y;
    }
  }
  const int last_bottom = TwipsToPixels(18 * 194.5, w);
  EXPECT_LE(last_bottom, w->height());
  EXPECT_GT(last_bottom, w->height() - TwipsToPixels(560 + 2 * 194.5, w));
}

// 10000 twips hold 48 lines on resize and 49 on scrolling; 8340 hold 40.
INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderViewerBottom,
    ::testing::Values(BottomCase{"ArrowAt10000", Drive::kArrow, 10000, 132, 179},
                      BottomCase{"PageAt10000", Drive::kPage, 10000, 132, 179},
                      BottomCase{"DragAt10000", Drive::kDrag, 10000, 132, 179},
                      BottomCase{"ArrowAt8340", Drive::kArrow, 8340, 141, 179},
                      BottomCase{"PageAt8340", Drive::kPage, 8340, 141, 179},
                      BottomCase{"DragAt8340", Drive::kDrag, 8340, 141, 179}),
    [](const ::testing::TestParamInfo<BottomCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillon
