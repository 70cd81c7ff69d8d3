// Printing with the real Qt classes: the plot window printed to a PDF file
// and rasterised with pdftoppm, Print Setup over the real QPrinter with a
// dialog that answers for the user, the code table, and the QPrintDialog
// wrapper's construction.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QProcess>
#include <QWidget>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "qt/plot_window.h"
#include "qt/plot_window_host.h"
#include "session/printer_setup.h"
#include "qt/printer.h"
#include "support/plot_test_support.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

// The window's RenderPlot comes back to the host, as in the application.
class HostedServices : public testing::RecordingServices {
 public:
  explicit HostedServices(SharedState& state) : host(state, *this) {}
  void RenderPlot() override { host.RenderPlot(); }
  void ClearPlotWindow() override { host.ClearPlotWindow(); }
  void HidePlotWindow() override { host.HidePlotWindow(); }
  PlotWindowHost host;
};

// A dialog that answers as a user would, over a real QPrinter setting.
class AnsweringDialog : public PrinterDialog {
 public:
  AnsweringDialog(std::optional<bool> confirmed, std::string output_file, std::map<PrinterSetting, int16_t> values)
      : confirmed_(confirmed), file_(std::move(output_file)), values_(std::move(values)) {}
  bool SetPrinterName(const std::string& name) override {
    given_name = name;
    return true;
  }
  bool SetDriverName(const std::string&) override { return true; }
  bool SetPort(const std::string& port) override {
    given_port = port;
    return true;
  }
  bool SetSetting(PrinterSetting, int16_t) override { return true; }
  bool SetFlags(int32_t flags) override {
    given_flags = flags;
    return true;
  }
  std::optional<bool> Show() override { return confirmed_; }
  std::optional<std::string> PrinterName() override { return std::string(); }
  std::optional<int16_t> Setting(PrinterSetting s) override { return values_.at(s); }
  std::optional<std::string> OutputFile() override { return file_; }

  std::string given_name, given_port;
  int32_t given_flags = 0;

 private:
  std::optional<bool> confirmed_;
  std::string file_;
  std::map<PrinterSetting, int16_t> values_;
};

class AnsweringFactory : public PrinterDialogFactory {
 public:
  AnsweringFactory(std::optional<bool> confirmed, std::string file, std::map<PrinterSetting, int16_t> values)
      : confirmed_(confirmed), file_(std::move(file)), values_(std::move(values)) {}
  std::unique_ptr<PrinterDialog> Create() override {
    return std::make_unique<AnsweringDialog>(confirmed_, file_, values_);
  }

 private:
  std::optional<bool> confirmed_;
  std::string file_;
  std::map<PrinterSetting, int16_t> values_;
};

const std::map<PrinterSetting, int16_t> kLandscapeColour = {
    {PrinterSetting::kCopies, 1},     {PrinterSetting::kOrientation, kOrientationLandscape},
    {PrinterSetting::kColorMode, 2},  {PrinterSetting::kDuplexMode, 1},
    {PrinterSetting::kPaperBin, 7},   {PrinterSetting::kPaperSize, 9},
    {PrinterSetting::kPrintQuality, 600}};

struct Raster {
  QImage image;
  int pages = 0;
};

// Page count from pdfinfo and the first page as an image from pdftoppm.
Raster Rasterise(const std::filesystem::path& pdf, const std::filesystem::path& png_base) {
  Raster raster;
  QProcess info;
  info.start("pdfinfo", {QString::fromStdString(pdf.string())});
  if (!info.waitForFinished(60000)) return raster;
  for (const QString& line : QString::fromUtf8(info.readAllStandardOutput()).split('\n')) {
    if (line.startsWith("Pages:")) raster.pages = line.mid(6).trimmed().toInt();
  }
  QProcess ppm;
  ppm.start("pdftoppm", {"-r", "100", "-png", "-singlefile", QString::fromStdString(pdf.string()),
                         QString::fromStdString(png_base.string())});
  if (!ppm.waitForFinished(60000) || ppm.exitCode() != 0) return raster;
  raster.image.load(QString::fromStdString(png_base.string() + ".png"));
  return raster;
}

bool Near(QRgb pixel, int r, int g, int b, int tolerance) {
  return std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
         std::abs(qBlue(pixel) - b) <= tolerance;
}

int CountNear(const QImage& image, int r, int g, int b, int tolerance) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += Near(image.pixel(x, y), r, g, b, tolerance) ? 1 : 0;
  }
  return count;
}

// The plot frame: the longest dark horizontal run gives its width, the
// longest dark vertical run its height.
QRectF FrameBox(const QImage& image) {
  int best_w = 0, left = 0;
  for (int y = 0; y < image.height(); ++y) {
    int run = 0;
    for (int x = 0; x < image.width(); ++x) {
      run = qGray(image.pixel(x, y)) < 110 ? run + 1 : 0;
      if (run > best_w) best_w = run, left = x - run + 1;
    }
  }
  int best_h = 0, top = 0;
  for (int x = 0; x < image.width(); ++x) {
    int run = 0;
    for (int y = 0; y < image.height(); ++y) {
      run = qGray(image.pixel(x, y)) < 110 ? run + 1 : 0;
      if (run > best_h) best_h = run, top = y - run + 1;
    }
  }
  return QRectF(left, top, best_w, best_h);
}

// Bounding box of everything that is not the paper's white.
QRect InkBox(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!Near(image.pixel(x, y), 255, 255, 255, 4)) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

class PrintPdfTest : public ::testing::Test {
 protected:
  PrintPdfTest() : services(state) {
    testing::PutWaveAndRamp(state);
    saved_ = CurrentQtPrinter().Save();
  }
  ~PrintPdfTest() override { CurrentQtPrinter().Restore(*saved_); }

  // The window with the test's save dialog (it cancels unless told
  // otherwise) and no printer installed.
  PlotWindow& Open() {
    services.RenderPlot();
    PlotWindow* window = services.host.Window();
    EXPECT_NE(window, nullptr);
    window->SetFileDesktop(&save_dialog, &printers);
    return *window;
  }

  // The current printer as a fresh run finds it where no printer is
  // installed: a PDF printer without a file.
  void StartWithoutDestination() {
    QtCurrentPrinter fresh;
    CurrentQtPrinter().Restore(*fresh.Save());
    CurrentQtPrinter().Printer().setOutputFormat(QPrinter::PdfFormat);
    CurrentQtPrinter().Printer().setOutputFileName(QString());
    CurrentQtPrinter().Printer().setOutputFormat(QPrinter::PdfFormat);
    ASSERT_TRUE(HasNoDestination(CurrentQtPrinter().Printer()));
  }

  // Print Setup with a dialog that chooses a PDF file.
  void ChoosePdf(PlotWindow&, const std::filesystem::path& file,
                 const std::map<PrinterSetting, int16_t>& values = kLandscapeColour) {
    QtInstalledPrinters installed(CurrentQtPrinter());
    AnsweringFactory dialogs(true, file.string(), values);
    ASSERT_EQ(PrintSetupCommand(CurrentQtPrinter(), installed, dialogs, services), PrintSetupResult::kConfirmed);
  }

  SharedState state;
  HostedServices services;
  testing::TempDir dir;
  testing::AnsweringSaveDialog save_dialog;
  testing::CountedPrinters printers{0};

 private:
  std::unique_ptr<PrinterSnapshot> saved_;
};

TEST_F(PrintPdfTest, PrintAfterChoosingAPdfFileWritesOnePageWithFrameAndCurves) {
  PlotWindow& window = Open();
  const std::filesystem::path pdf = dir / "plot.pdf";
  ChoosePdf(window, pdf);
  window.Print();
  EXPECT_TRUE(services.messages.empty()) << services.messages.front();
  ASSERT_TRUE(std::filesystem::exists(pdf));

  const Raster raster = Rasterise(pdf, dir / "page");
  EXPECT_EQ(raster.pages, 1);
  ASSERT_FALSE(raster.image.isNull());
  const QImage& page = raster.image;
  EXPECT_GT(page.width(), page.height()) << "landscape, as chosen in the dialog";
  raster.image.save("/tmp/quillon-print-page.png");

  // The picture keeps the client area's shape: its frame has the shape of
  // the frame on the screen; and it is scaled to fill the page's width.
  const QImage screen = window.GrabClientArea();
  const QRectF printed_frame = FrameBox(page);
  const QRectF screen_frame = FrameBox(screen);
  ASSERT_FALSE(printed_frame.isEmpty());
  ASSERT_FALSE(screen_frame.isEmpty());
  EXPECT_NEAR(printed_frame.width() / printed_frame.height(), screen_frame.width() / screen_frame.height(), 0.03);
  EXPECT_NEAR(printed_frame.width() / page.width(), screen_frame.width() / screen.width(), 0.05);
  const QRect ink = InkBox(page);
  EXPECT_GT(ink.width(), page.width() * 0.85);

  // The frame, and both curves in their slot colours (slot 1 red, slot 6 0, 160, 255).
  EXPECT_GT(printed_frame.width(), ink.width() * 0.8);
  EXPECT_GT(CountNear(page, 255, 0, 0, 70), 200);
  EXPECT_GT(CountNear(page, 0, 160, 255, 70), 200);
}

TEST_F(PrintPdfTest, TheDrawingIsPrintedAsVectorsNotAsAScreenImage) {
  // The controls may come out as bitmaps of their own; with them hidden, a
  // page drawn again at the printer's resolution holds no image at all,
  // where an enlarged screen picture would be one.
  PlotWindow& window = Open();
  const std::filesystem::path pdf = dir / "fine.pdf";
  ChoosePdf(window, pdf);
  for (QWidget* child : window.ClientArea()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->hide();
  window.Print();
  EXPECT_TRUE(services.messages.empty());
  QFile file(QString::fromStdString(pdf.string()));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray content = file.readAll();
  EXPECT_GT(content.size(), 1000);
  EXPECT_EQ(content.count("/Subtype /Image"), 0);
}

TEST_F(PrintPdfTest, WithoutAnyPrinterPrintAsksForAPdfFileAndPrintsThePageThere) {
  StartWithoutDestination();
  state.FitsDirectory = dir.path().string();
  PlotWindow& window = Open();
  const std::filesystem::path pdf = dir / "chosen.pdf";
  save_dialog.answer = pdf.string();
  window.Print();
  EXPECT_TRUE(services.messages.empty()) << services.messages.front();
  EXPECT_EQ(save_dialog.asked, 1);
  EXPECT_EQ(save_dialog.last_title, "Print to PDF File");
  EXPECT_EQ(save_dialog.last_proposed, (dir / "plot.pdf").string()) << "the spectrum's folder and plot.pdf";
  EXPECT_EQ(save_dialog.last_filters, "PDF document (*.pdf)");

  // The page as paper gets it: the printer's page size, the picture fitted
  // and centred, frame and curves drawn again.
  const Raster raster = Rasterise(pdf, dir / "page");
  EXPECT_EQ(raster.pages, 1);
  ASSERT_FALSE(raster.image.isNull());
  const QSizeF paper = CurrentQtPrinter().Printer().pageLayout().fullRectPoints().size();
  EXPECT_NEAR(raster.image.width(), paper.width() * 100 / 72, 2);
  EXPECT_NEAR(raster.image.height(), paper.height() * 100 / 72, 2);
  const QRectF printed_frame = FrameBox(raster.image);
  const QRectF screen_frame = FrameBox(window.GrabClientArea());
  EXPECT_NEAR(printed_frame.width() / printed_frame.height(), screen_frame.width() / screen_frame.height(), 0.03);
  EXPECT_GT(CountNear(raster.image, 255, 0, 0, 70), 200);
  EXPECT_GT(CountNear(raster.image, 0, 160, 255, 70), 200);

  // The printer itself keeps printing nowhere, so the next Print asks again;
  // nothing else is left in the folder.
  EXPECT_TRUE(HasNoDestination(CurrentQtPrinter().Printer()));
  window.Print();
  EXPECT_EQ(save_dialog.asked, 2);
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"chosen.pdf", "page.png"}));
}

TEST_F(PrintPdfTest, WithoutAnyPrinterCancellingTheFileDialogDoesNothing) {
  StartWithoutDestination();
  PlotWindow& window = Open();
  save_dialog.answer = std::nullopt;
  window.Print();
  save_dialog.answer = "";
  window.Print();
  EXPECT_EQ(save_dialog.asked, 2);
  EXPECT_TRUE(services.messages.empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(PrintPdfTest, WithAPrinterInstalledButNoDestinationThePrintReportsDeviceUnavailable) {
  StartWithoutDestination();
  testing::CountedPrinters one_printer(1);
  PlotWindow& window = Open();
  window.SetFileDesktop(&save_dialog, &one_printer);
  window.Print();
  EXPECT_EQ(save_dialog.asked, 0) << "with a printer installed, Print asks nothing";
  EXPECT_EQ(services.messages, (std::vector<std::string>{" 68 Error 68: Device unavailable."}));
}

TEST_F(PrintPdfTest, WithoutAnyPrinterAFileThatCannotBeWrittenIsReportedAndLeftAlone) {
  StartWithoutDestination();
  std::filesystem::create_directories(dir / "sub");
  const std::filesystem::path victim = dir / "victim.txt";
  std::ofstream(victim) << "keep";
  std::filesystem::create_symlink(victim, dir / "link.pdf");
  PlotWindow& window = Open();
  const struct {
    std::filesystem::path file;
    const char* report;  // "" for none
  } cases[] = {
      {dir / "missing" / "plot.pdf", " 76 Error 76: Path not found."},
      {dir / "sub", " 75 Error 75: Path/file access error."},
      {dir / "link.pdf", ""},  // the link is replaced by the page, its target untouched
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.string());
    services.messages.clear();
    save_dialog.answer = c.file.string();
    window.Print();
    if (*c.report == '\0') {
      EXPECT_TRUE(services.messages.empty());
    } else {
      EXPECT_EQ(services.messages, (std::vector<std::string>{c.report}));
    }
  }
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "link.pdf"));
  EXPECT_EQ(Rasterise(dir / "link.pdf", dir / "link").pages, 1);
  std::ifstream kept(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
  EXPECT_TRUE(std::filesystem::is_empty(dir / "sub"));
}

TEST_F(PrintPdfTest, APdfFileChosenInPrintSetupIsWrittenBesideAndRenamedNotThroughALink) {
  const std::filesystem::path victim = dir / "victim.txt";
  std::ofstream(victim) << "keep";
  std::filesystem::create_symlink(victim, dir / "plot.pdf");
  PlotWindow& window = Open();
  ChoosePdf(window, dir / "plot.pdf");
  window.Print();
  EXPECT_TRUE(services.messages.empty());
  EXPECT_EQ(save_dialog.asked, 0);
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "plot.pdf"));
  EXPECT_EQ(Rasterise(dir / "plot.pdf", dir / "page").pages, 1);
  std::ifstream kept(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
  EXPECT_EQ(CurrentQtPrinter().Printer().outputFileName().toStdString(), (dir / "plot.pdf").string())
      << "the printer keeps the chosen name";
}

TEST_F(PrintPdfTest, AFileThatCannotBeWrittenIsReportedWithItsErrorNumber) {
  std::filesystem::create_directories(dir / "sub");
  const struct {
    std::filesystem::path file;
    const char* report;
  } cases[] = {
      {dir / "missing" / "plot.pdf", " 76 Error 76: Path not found."},
      {dir / "sub", " 75 Error 75: Path/file access error."},
  };
  PlotWindow& window = Open();
  for (const auto& c : cases) {
    services.messages.clear();
    ChoosePdf(window, c.file);
    window.Print();
    EXPECT_EQ(services.messages, (std::vector<std::string>{c.report})) << c.file;
  }
}

TEST_F(PrintPdfTest, AReadOnlyFolderGivesPermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser may write anywhere";
  const std::filesystem::path locked = dir / "locked";
  std::filesystem::create_directories(locked);
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  PlotWindow& window = Open();
  ChoosePdf(window, locked / "plot.pdf");
  window.Print();
  EXPECT_EQ(services.messages, (std::vector<std::string>{" 70 Error 70: Permission denied."}));
}

TEST_F(PrintPdfTest, PrintSetupCopiesTheDialogsSettingsToTheQPrinter) {
  PlotWindow& window = Open();
  const std::map<PrinterSetting, int16_t> values = {
      {PrinterSetting::kCopies, 3},      {PrinterSetting::kOrientation, 2},  {PrinterSetting::kColorMode, 1},
      {PrinterSetting::kDuplexMode, 3},  {PrinterSetting::kPaperBin, 14},    {PrinterSetting::kPaperSize, 1},
      {PrinterSetting::kPrintQuality, 300}};
  ChoosePdf(window, dir / "set.pdf", values);
  QPrinter& printer = CurrentQtPrinter().Printer();
  EXPECT_EQ(printer.outputFormat(), QPrinter::PdfFormat);
  EXPECT_EQ(printer.outputFileName().toStdString(), (dir / "set.pdf").string());
  EXPECT_EQ(printer.copyCount(), 3);
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
  EXPECT_EQ(printer.colorMode(), QPrinter::GrayScale);
  EXPECT_EQ(printer.paperSource(), QPrinter::Cassette);
  EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::Letter);
  EXPECT_EQ(printer.resolution(), 300);
  EXPECT_FALSE(CurrentQtPrinter().FollowsDefault());

  // A second Print Setup starts the dialog from this printer.
  QtInstalledPrinters installed(CurrentQtPrinter());
  // The dialog notes what it was given as it is released.
  struct Keeping : PrinterDialogFactory {
    std::map<std::string, std::string> given;
    std::unique_ptr<PrinterDialog> Create() override {
      struct Recording : AnsweringDialog {
        explicit Recording(std::map<std::string, std::string>& g)
            : AnsweringDialog(false, "", kLandscapeColour), g_(g) {}
        ~Recording() override {
          g_["name"] = given_name;
          g_["port"] = given_port;
          g_["flags"] = std::to_string(given_flags);
        }
        std::map<std::string, std::string>& g_;
      };
      return std::make_unique<Recording>(given);
    }
  } keeping;
  EXPECT_EQ(PrintSetupCommand(CurrentQtPrinter(), installed, keeping, services), PrintSetupResult::kCancelled);
  EXPECT_EQ(keeping.given["name"], "");
  EXPECT_EQ(keeping.given["port"], (dir / "set.pdf").string());
  EXPECT_EQ(keeping.given["flags"], "268");
  EXPECT_EQ(printer.copyCount(), 3) << "cancel keeps the settings";
}

TEST_F(PrintPdfTest, AFailedSettingLeavesTheQPrinterAsItWas) {
  PlotWindow& window = Open();
  ChoosePdf(window, dir / "before.pdf");
  QPrinter& printer = CurrentQtPrinter().Printer();
  const int copies = printer.copyCount();
  std::map<PrinterSetting, int16_t> values = kLandscapeColour;
  values[PrinterSetting::kCopies] = 4;
  values[PrinterSetting::kPaperSize] = 256;  // a custom size has no code the printer takes
  QtInstalledPrinters installed(CurrentQtPrinter());
  AnsweringFactory dialogs(true, (dir / "after.pdf").string(), values);
  EXPECT_EQ(PrintSetupCommand(CurrentQtPrinter(), installed, dialogs, services), PrintSetupResult::kFailed);
  EXPECT_EQ(services.messages,
            (std::vector<std::string>{
                "Print Setup could not set the printer's paper size to 256. The printer keeps its settings."}));
  EXPECT_EQ(printer.outputFileName().toStdString(), (dir / "before.pdf").string());
  EXPECT_EQ(printer.copyCount(), copies);
}

// Every code of the table goes into a QPrinter and comes back unchanged.
TEST(QtPrinterCodesTest, WrittenCodesReadBack) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const struct {
    PrinterSetting setting;
    std::vector<int16_t> codes;
  } cases[] = {
      {PrinterSetting::kCopies, {1, 2, 99}},
      {PrinterSetting::kOrientation, {1, 2}},
      {PrinterSetting::kColorMode, {1, 2}},
      {PrinterSetting::kPaperBin, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 15, 256}},
      {PrinterSetting::kPaperSize, {1, 5, 8, 9, 11, 20, 27, 1003}},
      {PrinterSetting::kPrintQuality, {72, 300, 600, 1200}},
  };
  for (const auto& c : cases) {
    for (int16_t code : c.codes) {
      EXPECT_TRUE(WritePrinterSetting(printer, c.setting, code)) << SettingName(c.setting) << " " << code;
      EXPECT_EQ(ReadPrinterSetting(printer, c.setting), code) << SettingName(c.setting) << " " << code;
    }
  }
}

TEST(QtPrinterCodesTest, MeaningOfCodes) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  ASSERT_TRUE(WritePrinterSetting(printer, PrinterSetting::kPaperSize, 9));
  EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::A4);
  ASSERT_TRUE(WritePrinterSetting(printer, PrinterSetting::kPaperSize, 1003));
  EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::A0);
  ASSERT_TRUE(WritePrinterSetting(printer, PrinterSetting::kOrientation, 2));
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
  ASSERT_TRUE(WritePrinterSetting(printer, PrinterSetting::kColorMode, 1));
  EXPECT_EQ(printer.colorMode(), QPrinter::GrayScale);
  ASSERT_TRUE(WritePrinterSetting(printer, PrinterSetting::kPaperBin, 1));
  EXPECT_EQ(printer.paperSource(), QPrinter::OnlyOne);
  ASSERT_TRUE(WritePrinterSetting(printer, PrinterSetting::kPrintQuality, -2));
  EXPECT_EQ(printer.resolution(), 300);
  EXPECT_EQ(ReadPrinterSetting(printer, PrinterSetting::kPrintQuality), 300);
  // Duplex: a PDF printer has none, so the table itself is checked.
  EXPECT_EQ(QtValueForCode(PrinterSetting::kDuplexMode, 1), QPrinter::DuplexNone);
  EXPECT_EQ(QtValueForCode(PrinterSetting::kDuplexMode, 2), QPrinter::DuplexLongSide);
  EXPECT_EQ(QtValueForCode(PrinterSetting::kDuplexMode, 3), QPrinter::DuplexShortSide);
  EXPECT_EQ(CodeForQtValue(PrinterSetting::kDuplexMode, QPrinter::DuplexAuto), 2);
  EXPECT_EQ(CodeForQtValue(PrinterSetting::kDuplexMode, QPrinter::DuplexShortSide), 3);
}

TEST(QtPrinterCodesTest, UnknownCodesAreRefusedAndChangeNothing) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const struct {
    PrinterSetting setting;
    int16_t code;
  } cases[] = {
      {PrinterSetting::kCopies, 0},        {PrinterSetting::kCopies, -3},       {PrinterSetting::kOrientation, 0},
      {PrinterSetting::kOrientation, 3},   {PrinterSetting::kColorMode, 3},     {PrinterSetting::kDuplexMode, 0},
      {PrinterSetting::kDuplexMode, 4},    {PrinterSetting::kPaperBin, 12},     {PrinterSetting::kPaperBin, 0},
      {PrinterSetting::kPaperSize, 0},     {PrinterSetting::kPaperSize, 256},   {PrinterSetting::kPaperSize, 1007},
      {PrinterSetting::kPaperSize, 9999},  {PrinterSetting::kPrintQuality, 0},  {PrinterSetting::kPrintQuality, -5},
  };
  for (const auto& c : cases) {
    const std::optional<int16_t> before = ReadPrinterSetting(printer, c.setting);
    EXPECT_FALSE(WritePrinterSetting(printer, c.setting, c.code)) << SettingName(c.setting) << " " << c.code;
    EXPECT_EQ(ReadPrinterSetting(printer, c.setting), before) << SettingName(c.setting) << " " << c.code;
  }
  // A custom paper size reads as 256, which no printer takes back.
  printer.setPageSize(QPageSize(QSizeF(100, 77), QPageSize::Millimeter));
  EXPECT_EQ(ReadPrinterSetting(printer, PrinterSetting::kPaperSize), 256);
}

TEST_F(PrintPdfTest, SaveAndRestorePutEverythingBack) {
  QtCurrentPrinter& printer = CurrentQtPrinter();
  ASSERT_TRUE(printer.SetOutputFile((dir / "a.pdf").string()));
  ASSERT_TRUE(printer.SetFollowsDefault(false));
  const std::unique_ptr<PrinterSnapshot> snapshot = printer.Save();
  std::map<PrinterSetting, std::optional<int32_t>> before;
  for (PrinterSetting s : kCopiedSettings) before[s] = printer.Setting(s);

  ASSERT_TRUE(printer.SetOutputFile((dir / "b.pdf").string()));
  for (const auto& [s, v] : kLandscapeColour) EXPECT_TRUE(printer.SetSetting(s, v)) << SettingName(s);
  ASSERT_TRUE(printer.SetSetting(PrinterSetting::kCopies, 5));
  ASSERT_TRUE(printer.SetSetting(PrinterSetting::kColorMode, 1));
  ASSERT_TRUE(printer.SetFollowsDefault(true));

  ASSERT_TRUE(printer.Restore(*snapshot));
  EXPECT_EQ(printer.Port(), (dir / "a.pdf").string());
  EXPECT_FALSE(printer.FollowsDefault());
  for (PrinterSetting s : kCopiedSettings) EXPECT_EQ(printer.Setting(s), before[s]) << SettingName(s);
}

TEST_F(PrintPdfTest, TheRealDialogIsModalOwnedByThePlotWindowWithoutSelectionOrPageRange) {
  PlotWindow& window = Open();
  QtPrinterDialogFactory factory(&window);
  std::unique_ptr<PrinterDialog> made = factory.Create();
  ASSERT_NE(made, nullptr);
  auto* dialog = dynamic_cast<QtPrinterDialog*>(made.get());
  ASSERT_NE(dialog, nullptr);
  ASSERT_NE(dialog->Dialog(), nullptr);
  EXPECT_EQ(dialog->Dialog()->parentWidget(), &window);
  EXPECT_TRUE(dialog->Dialog()->isModal());
  EXPECT_EQ(dialog->Dialog()->printer(), &dialog->DialogPrinter());

  EXPECT_TRUE(made->SetPrinterName(""));
  EXPECT_TRUE(made->SetPort((dir / "x.pdf").string()));
  EXPECT_TRUE(made->SetSetting(PrinterSetting::kPaperBin, 14));
  EXPECT_TRUE(made->SetFlags(kPrintSetupDialogFlags));
  const QAbstractPrintDialog::PrintDialogOptions options = dialog->Dialog()->options();
  EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintSelection));
  EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintPageRange));
  EXPECT_TRUE(options.testFlag(QAbstractPrintDialog::PrintToFile)) << "printing to a PDF file stays offered";
  EXPECT_EQ(dialog->DialogPrinter().outputFormat(), QPrinter::PdfFormat);
  EXPECT_EQ(made->OutputFile(), (dir / "x.pdf").string());
  EXPECT_EQ(made->PrinterName(), std::string());
  EXPECT_EQ(made->Setting(PrinterSetting::kPaperBin), 14);

  // The dialog goes with its wrapper, and a gone owner gives no dialog.
  QPointer<QPrintDialog> widget = dialog->Dialog();
  made.reset();
  EXPECT_TRUE(widget.isNull());
  QtPrinterDialogFactory orphan(nullptr);
  EXPECT_EQ(orphan.Create(), nullptr);
}

}  // namespace
}  // namespace quillon
