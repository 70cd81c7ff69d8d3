// File, Export ... on the real plot window: PNG, SVG and PDF files read back
// as a user's programs would read them (Qt's image and SVG readers,
// pdftotext, pdfinfo, pdftoppm), and the refusals.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QProcess>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "qt/plot_export.h"
#include "qt/plot_window.h"
#include "qt/plot_window_host.h"
#include "support/plot_test_support.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class ExportServices : public testing::RecordingServices {
 public:
  explicit ExportServices(SharedState& state) : host(state, *this) {}
  void RenderPlot() override { host.RenderPlot(); }
  void ClearPlotWindow() override { host.ClearPlotWindow(); }
  void HidePlotWindow() override { host.HidePlotWindow(); }
  PlotWindowHost host;
};

QByteArray ReadBytes(const fs::path& path) {
  QFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

QString RunTool(const QString& program, const QStringList& args) {
  QProcess process;
  process.start(program, args);
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}

int CountColour(const QImage& image, QRgb colour, int tolerance) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      count += std::abs(qRed(p) - qRed(colour)) <= tolerance && std::abs(qGreen(p) - qGreen(colour)) <= tolerance &&
               std::abs(qBlue(p) - qBlue(colour)) <= tolerance;
    }
  }
  return count;
}

class PlotExportTest : public ::testing::Test {
 protected:
  PlotExportTest() : services(state) {
    testing::PutWaveAndRamp(state);
    state.FitsDirectory = dir.path().string();
    services.RenderPlot();
    window = services.host.Window();
    window->SetFileDesktop(&dialog, &printers);
  }

  // Export ... answered with `file`; the messages it showed.
  std::vector<std::string> Export(const fs::path& file) {
    services.messages.clear();
    dialog.answer = file.string();
    window->Export();
    return services.messages;
  }

  SharedState state;
  ExportServices services;
  testing::TempDir dir;
  testing::AnsweringSaveDialog dialog;
  testing::CountedPrinters printers{0};
  PlotWindow* window = nullptr;
};

TEST_F(PlotExportTest, TheMenuEntrySitsBelowPrintAndTheDialogProposesPlotPng) {
  const QList<QAction*> entries = window->file_menu_->actions();
  const qsizetype print = entries.indexOf(window->print_action_);
  ASSERT_GE(print, 0);
  ASSERT_LT(print + 1, entries.size());
  EXPECT_EQ(entries.at(print + 1), window->export_action_);
  EXPECT_EQ(window->export_action_->text(), "Export ...");

  dialog.answer = std::nullopt;
  window->export_action_->trigger();
  EXPECT_EQ(dialog.asked, 1);
  EXPECT_EQ(dialog.last_title, "Export");
  EXPECT_EQ(dialog.last_proposed, (dir / "plot.png").string());
  EXPECT_EQ(dialog.last_filters, "PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)");
  EXPECT_TRUE(services.messages.empty()) << "cancelling does nothing";
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(PlotExportTest, PngPixelsAreTheWindowsOwnRendering) {
  // The window as the screen shows it, less the bottom row of controls
  // (the export is the plot alone).
  for (QWidget* control :
       {static_cast<QWidget*>(window->wavelength_caption_), static_cast<QWidget*>(window->wavelength_readout_),
        static_cast<QWidget*>(window->intensity_caption_), static_cast<QWidget*>(window->intensity_readout_),
        static_cast<QWidget*>(window->zoom_caption_), static_cast<QWidget*>(window->pan_bar_),
        static_cast<QWidget*>(window->zoom_in_button_), static_cast<QWidget*>(window->zoom_out_button_),
        static_cast<QWidget*>(window->full_range_button_)}) {
    control->hide();
  }
  const QImage screen = window->ClientArea()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_TRUE(Export(dir / "plot.png").empty());
  QImage png(QString::fromStdString((dir / "plot.png").string()));
  ASSERT_FALSE(png.isNull());
  png = png.convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(png.width(), screen.width());
  // It ends below the wavelength axis title, above the controls' band.
  const QLabel* title = window->wavelength_title_;
  EXPECT_GE(png.height(), title->geometry().bottom());
  EXPECT_LT(png.height(), screen.height());
  int differing = 0;
  for (int y = 0; y < png.height(); ++y) {
    for (int x = 0; x < png.width(); ++x) differing += png.pixel(x, y) != screen.pixel(x, y);
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(CountColour(png, qRgb(255, 0, 0), 0), 300) << "slot 1's curve";
}

TEST_F(PlotExportTest, SvgHasTheLabelsAsTextAndTheLinesAsPaths) {
  EXPECT_TRUE(Export(dir / "plot.SVG").empty()) << "the extension in any case";
  const QString svg = QString::fromUtf8(ReadBytes(dir / "plot.SVG"));
  ASSERT_TRUE(svg.startsWith("<?xml")) << svg.left(200).toStdString();
  // Every axis label a <text> element with its caption.
  QStringList texts;
  const QRegularExpression text_element(QStringLiteral("<text[^>]*>([^<]*)</text>"));
  for (auto it = text_element.globalMatch(svg); it.hasNext();) texts << it.next().captured(1);
  for (const QLabel* label : {window->first_wavelength_label_, window->last_wavelength_label_,
                              window->wavelength_title_, window->top_intensity_label_, window->intensity_step_label_,
                              window->bottom_intensity_label_}) {
    EXPECT_TRUE(texts.contains(label->text())) << label->text().toStdString() << " in " << texts.join('|').toStdString();
  }
  EXPECT_TRUE(texts.contains("Wavelength /Angstroms"));
  EXPECT_GE(svg.count("<polyline"), 10) << "frame, grid and curves as vector paths";
  EXPECT_EQ(svg.count("<image"), 0) << "nothing as a picture";
  EXPECT_TRUE(svg.contains("stroke=\"#ff0000\"")) << "slot 1's colour";

  // Qt's own SVG reader draws it with the curves in their colours.
  QSvgRenderer renderer(svg.toUtf8());
  ASSERT_TRUE(renderer.isValid());
  EXPECT_EQ(renderer.viewBox(), QRect(QPoint(0, 0), window->Picture().size));
  QImage image(window->Picture().size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();
  EXPECT_GT(CountColour(image, qRgb(255, 0, 0), 60), 200);
  EXPECT_GT(CountColour(image, qRgb(0, 160, 255), 60), 200);
}

TEST_F(PlotExportTest, PdfHasRealTextAndVectorsOnOnePageOfThePicturesSize) {
  EXPECT_TRUE(Export(dir / "plot.pdf").empty());
  const QString pdf = QString::fromStdString((dir / "plot.pdf").string());
  const QString text = RunTool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  for (const QLabel* label : {window->first_wavelength_label_, window->last_wavelength_label_,
                              window->wavelength_title_, window->top_intensity_label_,
                              window->bottom_intensity_label_}) {
    EXPECT_TRUE(text.contains(label->text().trimmed())) << label->text().toStdString() << " in " << text.toStdString();
  }
  const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf});
  EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n")))) << info.toStdString();
  EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Title:\\s+Plot Spectra"))));
  const PlotPicture picture = window->Picture();
  const QRegularExpressionMatch size =
      QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts")).match(info);
  ASSERT_TRUE(size.hasMatch()) << info.toStdString();
  EXPECT_NEAR(size.captured(1).toDouble(), picture.size.width() * 72 / picture.dots_per_inch, 1);
  EXPECT_NEAR(size.captured(2).toDouble(), picture.size.height() * 72 / picture.dots_per_inch, 1);
  EXPECT_EQ(ReadBytes(dir / "plot.pdf").count("/Subtype /Image"), 0);

  // pdftoppm at the screen's resolution: the curves in their colours.
  RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(picture.dots_per_inch),
                                       QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf,
                                       QString::fromStdString((dir / "page").string())});
  const QImage page(QString::fromStdString((dir / "page.png").string()));
  ASSERT_FALSE(page.isNull());
  EXPECT_NEAR(page.width(), picture.size.width(), 2);
  EXPECT_GT(CountColour(page, qRgb(255, 0, 0), 60), 200);
  EXPECT_GT(CountColour(page, qRgb(0, 160, 255), 60), 200);
}

TEST_F(PlotExportTest, NamesThatChooseNoFormatOrCannotBeWrittenGiveOneMessageAndWriteNothing) {
  fs::create_directories(dir / "folder");
  const struct {
    fs::path file;
    std::string message;
  } cases[] = {
      {dir / "plot.jpg", ExportFormatMessage((dir / "plot.jpg").string())},
      {dir / "plot", ExportFormatMessage((dir / "plot").string())},
      {dir / "missing" / "plot.png",
       ExportFailureMessage((dir / "missing" / "plot.png").string(), "No such file or directory")},
      {dir / "folder.svg", ""},  // written: the name is a file's
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.string());
    const std::vector<std::string> messages = Export(c.file);
    if (c.message.empty()) {
      EXPECT_TRUE(messages.empty());
    } else {
      EXPECT_EQ(messages, (std::vector<std::string>{c.message}));
    }
  }
  fs::create_directories(dir / "taken.pdf");
  EXPECT_EQ(Export(dir / "taken.pdf"),
            (std::vector<std::string>{ExportFailureMessage((dir / "taken.pdf").string(), "Is a directory")}));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"folder", "folder.svg", "taken.pdf"})) << "no other file, no temporary";
  EXPECT_TRUE(fs::is_empty(dir / "taken.pdf"));
}

TEST_F(PlotExportTest, AnExistingLinkIsReplacedNotFollowed) {
  const fs::path victim = dir / "victim.txt";
  std::ofstream(victim) << "someone else's";
  fs::create_symlink(victim, dir / "plot.png");
  EXPECT_TRUE(Export(dir / "plot.png").empty());
  EXPECT_FALSE(fs::is_symlink(dir / "plot.png"));
  EXPECT_FALSE(QImage(QString::fromStdString((dir / "plot.png").string())).isNull());
  std::ifstream kept(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "someone else's");
}

// The desktop's dialog itself, driven as a user would: it opens in the
// proposed folder with the proposed name and the matching file type, and a
// name typed without an extension gets that type's.
TEST(QtSaveDialogTest, ProposesFolderNameAndTypeAndAddsTheExtension) {
  testing::TempDir dir;
  QWidget owner;
  QtSaveDialog dialog(&owner);
  const auto answer = [](std::function<void(QFileDialog&)> act) {
    QTimer::singleShot(0, [act] {
      if (auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) act(*shown);
    });
    // Never left hanging: whatever is still open after a while is cancelled.
    QTimer::singleShot(10000, [] {
      if (QWidget* shown = QApplication::activeModalWidget()) shown->close();
    });
  };
  QString folder, name, filter;
  answer([&](QFileDialog& shown) {
    folder = shown.directory().absolutePath();
    name = QFileInfo(shown.selectedFiles().value(0)).fileName();
    filter = shown.selectedNameFilter();
    shown.selectFile(QStringLiteral("mine"));
    QMetaObject::invokeMethod(&shown, "accept");
  });
  const std::optional<std::string> chosen =
      dialog.AskFileName("Export", (dir / "plot.svg").string(), kExportFilters);
  EXPECT_EQ(folder.toStdString(), dir.path().string());
  EXPECT_EQ(name, "plot.svg");
  EXPECT_EQ(filter, "SVG drawing (*.svg)");
  EXPECT_EQ(chosen, (dir / "mine.svg").string());

  answer([](QFileDialog& shown) { shown.reject(); });
  EXPECT_EQ(dialog.AskFileName("Print to PDF File", (dir / "plot.pdf").string(), kPdfFilter), std::nullopt);
}

}  // namespace
}  // namespace quillon
