// The windows under a dark desktop theme (Fusion with a dark palette): every
// control with a background of its own keeps dark text on it, read from the
// pixels the controls draw. Its own test program, since the theme is global.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QStyleFactory>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "app/quillon_app.h"
#include "qt/file_chooser.h"
#include "qt/plot_window.h"
#include "qt/main_window.h"
#include "qt/twips.h"
#include "support/fits_writer.h"
#include "support/temp_dir.h"
#include "qt/about_window.h"

namespace quillon {
namespace {

class RecordingSink : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

// The dark scheme desktop themes give Fusion: light text on dark grey.
QPalette DarkPalette() {
  QPalette p;
  const QColor window(53, 53, 53), base(35, 35, 35), text(230, 230, 230);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, window);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::red);
  p.setColor(QPalette::Highlight, QColor(42, 130, 218));
  p.setColor(QPalette::HighlightedText, Qt::black);
  p.setColor(QPalette::ToolTipBase, window);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, QColor(140, 140, 140));
  return p;
}

int Lightness(QRgb pixel) { return qGray(pixel); }

// What a control shows inside its border (two pixels kept clear of it).
struct Ink {
  int background = 0;  ///< lightness of the most common pixel
  int darkest = 255;   ///< lightness of the darkest pixel
  int dark_pixels = 0; ///< pixels darker than 96
};

Ink ReadInk(QWidget* widget) {
  const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
  std::vector<int> histogram(256, 0);
  Ink ink;
  for (int y = 2; y < image.height() - 2; ++y) {
    for (int x = 2; x < image.width() - 2; ++x) {
      const int l = Lightness(image.pixel(x, y));
      ++histogram[static_cast<std::size_t>(l)];
      ink.darkest = std::min(ink.darkest, l);
      if (l < 96) ++ink.dark_pixels;
    }
  }
  ink.background = static_cast<int>(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
  return ink;
}

class DarkThemeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(DarkPalette());
  }

  DarkThemeTest() {
    testing::FitsImage image;
    image.bitpix = -32;
    image.object = "Alpha Lyr";
    image.crval1 = 4000;
    image.cd1_1 = 2.0;
    for (int i = 1; i <= 600; ++i) image.raw.push_back(1000.0 + 50.0 * std::sin(i * 0.1));
    testing::WriteFits(dir / "vega.fts", image);

    QuillonApp::Options options;
    options.messages = &sink;
    options.end_program = [] {};
    options.settings_file = dir / "Quillon3.ini";
    app = std::make_unique<QuillonApp>(options);
    app->Start({(dir / "vega.fts").string()});
  }

  testing::TempDir dir;
  testing::ScopedCurrentDir here{dir.path()};
  RecordingSink sink;
  std::unique_ptr<QuillonApp> app;
};

void ExpectDarkTextOnLight(QWidget* widget, const char* what) {
  SCOPED_TRACE(what);
  ASSERT_NE(widget, nullptr);
  const Ink ink = ReadInk(widget);
  EXPECT_GE(ink.background, 176) << "background lightness";
  EXPECT_LE(ink.darkest, 60) << "darkest pixel of the text";
  EXPECT_GE(ink.dark_pixels, 8) << "pixels of the text";
}

TEST_F(DarkThemeTest, ALoadedRowsCellsShowDarkTextOnWhite) {
  ASSERT_TRUE(sink.messages.empty());
  MainWindow& main = app->Main();
  ASSERT_EQ(main.object_cells_[1]->text(), "Alpha Lyr");
  ExpectDarkTextOnLight(main.file_name_cells_[1], "Filename cell");
  ExpectDarkTextOnLight(main.object_cells_[1], "Object cell");
  ExpectDarkTextOnLight(main.level_cells_[1], "Level cell");
  ExpectDarkTextOnLight(main.offset_cells_[1], "Offset cell");
  ExpectDarkTextOnLight(main.velocity_cells_[1], "Velocity cell");
  // Headings and row numbers stand on the light blue window.
  ExpectDarkTextOnLight(main.filename_heading_, "Filename heading");
  ExpectDarkTextOnLight(main.velocity_heading_, "Velocity heading");
  ExpectDarkTextOnLight(main.row_numbers_[1], "Row number");
}

TEST_F(DarkThemeTest, ThePlotsReadOutsShowDarkTextOnWhite) {
  app->Main().plot_button_->click();
  PlotWindow* plot = app->PlotWindowIfLoaded();
  ASSERT_NE(plot, nullptr);
  const PlotFrame& frame = plot->Frame();
  // The mouse in the middle of the frame, as the window system reports it.
  QWidget* area = plot->ClientArea();
  const QPointF at(TwipsToPixels((frame.left + frame.right) / 2.0, area),
                   TwipsToPixels((frame.top + frame.bottom) / 2.0, area));
  QMouseEvent move(QEvent::MouseMove, at, area->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(area, &move);
  ASSERT_FALSE(plot->wavelength_readout_->text().trimmed().isEmpty());
  ASSERT_FALSE(plot->intensity_readout_->text().trimmed().isEmpty());
  ExpectDarkTextOnLight(plot->wavelength_readout_, "Wavelength read-out");
  ExpectDarkTextOnLight(plot->intensity_readout_, "Intensity read-out");
  // The page the curves are drawn on stays white, its labels black.
  const QImage page = plot->GrabClientArea();
  EXPECT_EQ(QColor(page.pixel(2, 2)), QColor(Qt::white));
  EXPECT_EQ(plot->wavelength_title_->palette().color(QPalette::WindowText), QColor(Qt::black));
  EXPECT_EQ(plot->wavelength_caption_->palette().color(QPalette::WindowText), QColor(Qt::black));
}

TEST_F(DarkThemeTest, TheChoosersAndAboutBoxsLabelsAreDarkOnTheirGrey) {
  app->Main().load_buttons_[2]->click();
  FileChooser& chooser = app->Chooser();
  ExpectDarkTextOnLight(chooser.name_label_, "File Name:");
  ExpectDarkTextOnLight(chooser.folder_label_, "Directories:");
  app->ShowAboutWindow();
  AboutWindow* about = app->AboutIfLoaded();
  ASSERT_NE(about, nullptr);
  ExpectDarkTextOnLight(about->Line(AboutLine::ReportPrompt), "report line");
  EXPECT_EQ(about->Line(AboutLine::Title)->palette().color(QPalette::WindowText), QColor(0, 0, 128));
}

}  // namespace
}  // namespace quillon
