#include "qt/about_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>

#include "qt/twips.h"

namespace quillon {
namespace {

class AboutWindowTest : public ::testing::Test {
 protected:
  frmAbout* Open() {
    if (about.isNull()) about = new frmAbout(state);
    about->show();
    about->raise();
    QApplication::processEvents();
    return about;
  }
  void TearDown() override { delete about.data(); }

  SharedState state;
  QPointer<frmAbout> about;
};

TEST_F(AboutWindowTest, ShowsTheSixLabelsInPlace) {
  frmAbout* w = Open();
  EXPECT_EQ(w->windowTitle(), "About");
  EXPECT_EQ(w->size(), QSize(TwipsToPixels(4710, w), TwipsToPixels(2505, w)));
  EXPECT_EQ(w->palette().color(QPalette::Window), QColor(224, 224, 224));

  struct Expected {
    int number;
    double top;
    double height;
    QString text;
  };
  const Expected labels[] = {
      {1, 120, 375, "Quillon Software"},
      {6, 960, 255, "Version 3.0.0 of 2026-12-07"},
      {7, 1200, 255, QString(61, '-')},
      {3, 1440, 255, "Quillon is free: pass it on without restriction."},
      {4, 1800, 255, "Please report bugs, plus suggestions to:"},
      {5, 2160, 255, "bugs@quillon.example.org"},
  };
  for (const Expected& e : labels) {
    QLabel* label = w->Label(e.number);
    ASSERT_NE(label, nullptr) << e.number;
    EXPECT_EQ(label->text(), e.text) << e.number;
    EXPECT_EQ(label->geometry(), TwipsToPixelRect(120, e.top, 4455, e.height, w)) << e.number;
    EXPECT_EQ(label->alignment(), Qt::AlignCenter) << e.number;
    // Every text fits on its one line.
    const QFontMetrics metrics(label->font());
    EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << e.number;
    EXPECT_LE(metrics.tightBoundingRect(label->text()).height(), label->height()) << e.number;
  }
  EXPECT_EQ(w->Label(2), nullptr);
  EXPECT_EQ(w->Label(8), nullptr);

  const QFont title = w->Label(1)->font();
  EXPECT_TRUE(title.bold());
  EXPECT_DOUBLE_EQ(title.pointSizeF(), 13.5);
  EXPECT_EQ(w->Label(1)->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_TRUE(w->Label(6)->font().bold());
}

TEST_F(AboutWindowTest, VersionLineComesFromTheBuild) {
  EXPECT_EQ(frmAbout::VersionLine(), "Version 3.0.0 of 2026-12-07");
}

TEST_F(AboutWindowTest, ReopensWhereItWasClosedWithTheSameSize) {
  frmAbout* w = Open();
  const QSize size = w->size();
  w->move(300, 120);
  QApplication::processEvents();
  w->close();
  QApplication::processEvents();
  EXPECT_TRUE(about.isNull());
  EXPECT_EQ(state.AboutLeft, 4500);
  EXPECT_EQ(state.AboutTop, 1800);

  w = Open();
  EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(300, 120));
  EXPECT_EQ(w->size(), size);
}

TEST_F(AboutWindowTest, UnmovedWindowGivesBackItsStoredPosition) {
  state.AboutLeft = 500;
  state.AboutTop = 700;
  Open()->close();
  QApplication::processEvents();
  EXPECT_EQ(state.AboutLeft, 500);
  EXPECT_EQ(state.AboutTop, 700);
}

TEST_F(AboutWindowTest, PositionBeyondSixteenBitsIsClamped) {
  frmAbout* w = Open();
  w->move(3000, -2500);  // 45000 and -37500 twips
  QApplication::processEvents();
  w->close();
  QApplication::processEvents();
  EXPECT_EQ(state.AboutLeft, 32767);
  EXPECT_EQ(state.AboutTop, -32768);
}

}  // namespace
}  // namespace quillon
