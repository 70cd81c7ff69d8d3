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
  AboutWindow* Open() {
    if (about.isNull()) about = new AboutWindow(state);
    about->show();
    about->raise();
    QApplication::processEvents();
    return about;
  }
  void TearDown() override { delete about.data(); }

  SharedState state;
  QPointer<AboutWindow> about;
};

TEST_F(AboutWindowTest, ShowsTheSixLabelsInPlace) {
  AboutWindow* w = Open();
  EXPECT_EQ(w->windowTitle(), "About");
  EXPECT_EQ(w->size(), QSize(TwipsToPixels(4710, w), TwipsToPixels(2505, w)));
  EXPECT_EQ(w->palette().color(QPalette::Window), QColor(224, 224, 224));

  struct Expected {
    AboutLine line;
    double top;
    double height;
    QString text;
  };
  const Expected labels[] = {
      {AboutLine::Title, 120, 375, "Quillon Software"},
      {AboutLine::Version, 960, 255, "Version 3.0.0 of 2026-12-07"},
      {AboutLine::Separator, 1200, 255, QString(61, '-')},
      {AboutLine::Terms, 1440, 255, "Quillon is free: pass it on without restriction."},
      {AboutLine::ReportPrompt, 1800, 255, "Please report bugs, plus suggestions to:"},
      {AboutLine::Address, 2160, 255, "bugs@quillon.example.org"},
  };
  for (const Expected& e : labels) {
    const int n = static_cast<int>(e.line);
    QLabel* label = w->Line(e.line);
    ASSERT_NE(label, nullptr) << n;
    EXPECT_EQ(label->text(), e.text) << n;
    EXPECT_EQ(label->geometry(), TwipsToPixelRect(120, e.top, 4455, e.height, w)) << n;
    EXPECT_EQ(label->alignment(), Qt::AlignCenter) << n;
    // Every text fits on its one line.
    const QFontMetrics metrics(label->font());
    EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << n;
    EXPECT_LE(metrics.tightBoundingRect(label->text()).height(), label->height()) << n;
  }
  EXPECT_EQ(w->Line(static_cast<AboutLine>(-1)), nullptr);
  EXPECT_EQ(w->Line(static_cast<AboutLine>(kAboutLineCount)), nullptr);

  const QFont title = w->Line(AboutLine::Title)->font();
  EXPECT_TRUE(title.bold());
  EXPECT_DOUBLE_EQ(title.pointSizeF(), 13.5);
  EXPECT_EQ(w->Line(AboutLine::Title)->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_TRUE(w->Line(AboutLine::Version)->font().bold());
}

TEST_F(AboutWindowTest, VersionLineComesFromTheBuild) {
  EXPECT_EQ(AboutWindow::VersionLine(), "Version 3.0.0 of 2026-12-07");
}

TEST_F(AboutWindowTest, ReopensWhereItWasClosedWithTheSameSize) {
  AboutWindow* w = Open();
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
  AboutWindow* w = Open();
  w->move(3000, -2500);  // 45000 and -37500 twips
  QApplication::processEvents();
  w->close();
  QApplication::processEvents();
  EXPECT_EQ(state.AboutLeft, 32767);
  EXPECT_EQ(state.AboutTop, -32768);
}

}  // namespace
}  // namespace quillon
