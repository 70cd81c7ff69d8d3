#include "windows/header_viewer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPointer>
#include <QScrollBar>
#include <string>
#include <vector>

#include "shell/qt_twips.h"
#include "support/recording_services.h"

namespace quillon {
namespace {

std::string Card(int slot, int k) {
  std::string card = "S" + std::to_string(slot) + "CARD" + std::to_string(k) + " = 'VALUE'";
  card.resize(80, ' ');
  return card;
}

void FillHeader(SharedState& state, int slot, int count) {
  state.HeaderCard[slot].assign(1, "");
  for (int k = 1; k <= count; ++k) state.HeaderCard[slot].push_back(Card(slot, k));
  state.HeaderLineCount[slot] = static_cast<int16_t>(count);
  state.SlotLoaded[slot] = kTrue;
}

std::vector<std::string> Cards(int slot, int first, int last) {
  std::vector<std::string> cards;
  for (int k = first; k <= last; ++k) cards.push_back(Card(slot, k));
  return cards;
}

class HeaderViewerWindow : public ::testing::Test {
 protected:
  // Opens the viewer as the Hdr button of `slot` does.
  frmDisplayHdr* Open(int16_t slot) {
    state.CurrentSlot = slot;
    if (viewer.isNull()) viewer = new frmDisplayHdr(state, services);
    viewer->ShowCardsFromTop(slot);
    QApplication::processEvents();
    return viewer;
  }
  void TearDown() override { delete viewer.data(); }

  SharedState state;
  testing::RecordingServices services;
  QPointer<frmDisplayHdr> viewer;
};

TEST_F(HeaderViewerWindow, ThirtyCardHeaderShrinksAndHdrPrintsFromCardOne) {
  FillHeader(state, 1, 30);
  frmDisplayHdr* w = Open(1);
  EXPECT_EQ(w->windowTitle(), "Display Fits Hdr - 2D Spectrum");
  EXPECT_EQ(w->Logic().Height(), 6395);
  EXPECT_EQ(state.HdrHeight, 6395);
  EXPECT_EQ(w->frameGeometry().height(), TwipsToPixels(6395, w));
  EXPECT_TRUE(w->VScroll1()->isHidden());
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
  frmDisplayHdr* w = Open(1);
  QScrollBar* bar = w->VScroll1();
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
  frmDisplayHdr* w = Open(2);
  EXPECT_EQ(w->geometry(), before);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(2, 1, 50));
  EXPECT_EQ(w->VScroll1()->maximum(), 80);
  w->VScroll1()->setValue(80);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(2, 12, 50));
}

TEST_F(HeaderViewerWindow, UserResizeIsHandledOnceAndRecorded) {
  FillHeader(state, 1, 100);
  frmDisplayHdr* w = Open(1);
  ResizeOuter(w, 6000, 8340);  // as the user drags the frame
  QApplication::processEvents();
  EXPECT_EQ(state.HdrWidth, 6000);
  EXPECT_EQ(state.HdrHeight, 8340);
  EXPECT_EQ(w->VScroll1()->minimum(), 20);
  EXPECT_EQ(w->VScroll1()->maximum(), 80);
  // The value the 10000-high window gave (24) stays within the new range.
  EXPECT_EQ(w->VScroll1()->value(), 24);
  EXPECT_EQ(w->Logic().PrintedLines(), Cards(1, 5, 45));
}

TEST_F(HeaderViewerWindow, CardsLineUpInOneLineEach) {
  FillHeader(state, 1, 30);
  state.HdrWidth = 12000;
  frmDisplayHdr* w = Open(1);
  const QFontMetrics metrics(w->CardFont());
  EXPECT_TRUE(metrics.height() <= static_cast<int>(w->LinePixels()));
  EXPECT_EQ(metrics.horizontalAdvance(QString(80, 'W')), metrics.horizontalAdvance(QString(80, 'i')));

  // Ink in each of the 30 line bands and none below the last.
  const QImage image = w->grab().toImage();
  const QColor background = w->palette().color(QPalette::Window);
  auto ink_rows = [&](int top, int bottom) {
    int rows = 0;
    for (int y = std::max(0, top); y < std::min(bottom, image.height()); ++y) {
      for (int x = 0; x < w->VScroll1()->x() && x < image.width(); ++x) {
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
  frmDisplayHdr* w = Open(1);
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

}  // namespace
}  // namespace quillon
