#include "qt/help_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>

#include "qt/twips.h"

namespace quillon {
namespace {

class HelpWindowTest : public ::testing::Test {
 protected:
  HelpWindow* Open() {
    if (help.isNull()) help = new HelpWindow(state);
    help->show();
    help->raise();
    QApplication::processEvents();
    return help;
  }
  void TearDown() override { delete help.data(); }

  SharedState state;
  QPointer<HelpWindow> help;
};

struct WidthCase {
  int16_t width;
  std::array<double, 3> tops;
  double height;
};

class HelpWindowWidths : public HelpWindowTest, public ::testing::WithParamInterface<WidthCase> {};

TEST_P(HelpWindowWidths, LabelsAndHeightFollowTheWidth) {
  const WidthCase& c = GetParam();
  state.HelpWidth = c.width;
  HelpWindow* w = Open();
  EXPECT_EQ(w->Logic().Height(), c.height);
  EXPECT_EQ(w->frameGeometry().height(), TwipsToPixels(c.height, w));
  EXPECT_EQ(w->Title()->geometry(), TwipsToPixelRect(120, 0, c.width - 500, 375, w));
  const double heights[] = {2175, 1935, 2295};
  for (int k = 1; k <= 3; ++k) {
    QLabel* label = w->Paragraph(k);
    EXPECT_EQ(label->geometry(), TwipsToPixelRect(120, c.tops[k - 1], c.width - 500, heights[k - 1], w)) << k;
    // The paragraph fits its fixed label height in the window's font.
    const QRect needed = QFontMetrics(label->font())
                             .boundingRect(QRect(0, 0, label->width(), 100000), Qt::TextWordWrap, label->text());
    EXPECT_LE(needed.height(), label->height()) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, HelpWindowWidths,
                         ::testing::Values(WidthCase{10000, {400, 1580, 2400}, 4230},
                                           WidthCase{5000, {400, 2558, 3956}, 6160}));

TEST_F(HelpWindowTest, ShowsTitleAndParagraphs) {
  HelpWindow* w = Open();
  EXPECT_EQ(w->windowTitle(), "Help");
  EXPECT_EQ(w->Title()->text(), "Help - Quillon");
  EXPECT_TRUE(w->Title()->font().bold());
  EXPECT_DOUBLE_EQ(w->Title()->font().pointSizeF(), 15.75);
  EXPECT_EQ(w->Title()->palette().color(QPalette::WindowText), QColor(192, 0, 0));
  EXPECT_EQ(w->Title()->alignment(), Qt::AlignCenter);
  const auto paragraphs = BuildHelpParagraphs();
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(w->Paragraph(k)->text().toStdString(), paragraphs[static_cast<std::size_t>(k - 1)]);
    EXPECT_TRUE(w->Paragraph(k)->wordWrap());
  }
  EXPECT_EQ(w->Paragraph(0), nullptr);
  EXPECT_EQ(w->Paragraph(4), nullptr);
}

TEST_F(HelpWindowTest, TallerWindowSnapsBackAndWiderOneShrinks) {
  HelpWindow* w = Open();
  ResizeOuter(w, 10000, 9000);  // the user drags the bottom edge down
  QApplication::processEvents();
  EXPECT_EQ(w->Logic().Height(), 4230);
  EXPECT_EQ(w->frameGeometry().height(), TwipsToPixels(4230, w));

  ResizeOuter(w, 5000, 4230);  // a whole number of pixels: 4995 twips at 96 DPI
  QApplication::processEvents();
  const double width = PixelsToTwips(w->frameGeometry().width(), w);
  EXPECT_EQ(w->Logic().Width(), width);
  const int16_t height = ComputeHelpLayout(width, {418, 247, 300}).window_height;
  EXPECT_EQ(w->Logic().Height(), height);
  EXPECT_EQ(w->frameGeometry().height(), TwipsToPixels(height, w));
}

TEST_F(HelpWindowTest, NarrowWindowKeepsPositiveSizes) {
  state.HelpWidth = 300;
  HelpWindow* w = Open();
  EXPECT_EQ(w->Logic().Height(), 32767);
  EXPECT_GE(w->Paragraph(1)->width(), 0);
  EXPECT_GT(w->height(), 0);
}

TEST_F(HelpWindowTest, ReopensWhereItWasClosed) {
  HelpWindow* w = Open();
  w->move(210, 45);
  ResizeOuter(w, 7005, 1000);
  QApplication::processEvents();
  const double height = w->Logic().Height();
  w->close();
  QApplication::processEvents();
  EXPECT_TRUE(help.isNull());
  EXPECT_EQ(state.HelpLeft, 3150);
  EXPECT_EQ(state.HelpTop, 675);
  EXPECT_EQ(state.HelpWidth, 7005);
  EXPECT_EQ(state.HelpHeight, height);

  w = Open();
  EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(210, 45));
  EXPECT_EQ(w->frameGeometry().width(), TwipsToPixels(7005, w));
  EXPECT_EQ(w->Logic().Height(), height);
}

}  // namespace
}  // namespace quillon
