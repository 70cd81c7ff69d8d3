#include "qt/printer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QRectF>
#include <QWidget>
#include <limits>

#include "session/export_file.h"

namespace quillon {

namespace {

// The codes printers and the printer dialog exchange, and the Qt values
// behind them. This is the only place where the two meet.
//
//   setting        code                        Qt value
//   orientation    1 portrait, 2 landscape     QPageLayout::Portrait, ::Landscape
//   colour mode    1 monochrome, 2 colour      QPrinter::GrayScale, ::Color
//   duplex mode    1 none                      QPrinter::DuplexNone
//                  2 long edge                 QPrinter::DuplexLongSide (DuplexAuto reads as 2 too)
//                  3 short edge                QPrinter::DuplexShortSide
//   paper bin      1 upper/only one, 2 lower, 3 middle, 4 manual, 5 envelope,
//                  6 envelope manual, 7 automatic, 8 tractor, 9 small format,
//                  10 large format, 11 large capacity, 14 cassette,
//                  15 form source, 256 custom     QPrinter::PaperSource, same order
//   paper size     the conventional paper number (1 Letter, 5 Legal, 8 A3,
//                  9 A4, 11 A5, 20 envelope #10, ...) as QPageSize::windowsId()
//                  gives it; a size without one, such as A0, is 1000 plus its
//                  QPageSize::PageSizeId; a custom size has no code (256 is
//                  read but never accepted)
//   print quality  a positive code is the resolution in dots per inch; the
//                  conventional -1 draft, -2 low, -3 medium, -4 high mean
//                  150, 300, 600 and 1200 dpi; reads always give dpi
//   copies         the copy count itself, at least 1
//
// The rows below hold the listed pairs; paper size and positive print
// qualities follow their rules in CodeForQtValue and QtValueForCode.
struct CodeRow {
  PrinterSetting setting;
  int16_t code;
  int qt;
  bool writable;  // false: an extra Qt value that reads as this code
};

constexpr CodeRow kCodeTable[] = {
    {PrinterSetting::kOrientation, 1, QPageLayout::Portrait, true},
    {PrinterSetting::kOrientation, 2, QPageLayout::Landscape, true},
    {PrinterSetting::kColorMode, 1, QPrinter::GrayScale, true},
    {PrinterSetting::kColorMode, 2, QPrinter::Color, true},
    {PrinterSetting::kDuplexMode, 1, QPrinter::DuplexNone, true},
    {PrinterSetting::kDuplexMode, 2, QPrinter::DuplexLongSide, true},
    {PrinterSetting::kDuplexMode, 3, QPrinter::DuplexShortSide, true},
    {PrinterSetting::kDuplexMode, 2, QPrinter::DuplexAuto, false},
    {PrinterSetting::kPaperBin, 1, QPrinter::OnlyOne, true},
    {PrinterSetting::kPaperBin, 2, QPrinter::Lower, true},
    {PrinterSetting::kPaperBin, 3, QPrinter::Middle, true},
    {PrinterSetting::kPaperBin, 4, QPrinter::Manual, true},
    {PrinterSetting::kPaperBin, 5, QPrinter::Envelope, true},
    {PrinterSetting::kPaperBin, 6, QPrinter::EnvelopeManual, true},
    {PrinterSetting::kPaperBin, 7, QPrinter::Auto, true},
    {PrinterSetting::kPaperBin, 8, QPrinter::Tractor, true},
    {PrinterSetting::kPaperBin, 9, QPrinter::SmallFormat, true},
    {PrinterSetting::kPaperBin, 10, QPrinter::LargeFormat, true},
    {PrinterSetting::kPaperBin, 11, QPrinter::LargeCapacity, true},
    {PrinterSetting::kPaperBin, 14, QPrinter::Cassette, true},
    {PrinterSetting::kPaperBin, 15, QPrinter::FormSource, true},
    {PrinterSetting::kPaperBin, 256, QPrinter::CustomSource, true},
    {PrinterSetting::kPrintQuality, -1, 150, true},
    {PrinterSetting::kPrintQuality, -2, 300, true},
    {PrinterSetting::kPrintQuality, -3, 600, true},
    {PrinterSetting::kPrintQuality, -4, 1200, true},
};

constexpr int kOwnPaperSizeBase = 1000;  // codes for sizes without a conventional number
constexpr int kCustomPaperCode = 256;

bool InCodeRange(int value) { return value >= 1 && value <= std::numeric_limits<int16_t>::max(); }

std::string ToStd(const QString& text) { return text.toStdString(); }

bool PrintsToFile(const QPrinter& printer) { return printer.outputFormat() == QPrinter::PdfFormat; }

// What Restore needs to rebuild a printer, in the order it is applied.
struct QtSnapshot final : PrinterSnapshot {
  QPrinter::OutputFormat format = QPrinter::NativeFormat;
  QString name;
  QString file;
  int copies = 1;
  QPageLayout layout;
  QPrinter::ColorMode color = QPrinter::Color;
  QPrinter::DuplexMode duplex = QPrinter::DuplexNone;
  QPrinter::PaperSource source = QPrinter::Auto;
  int resolution = 0;
  bool follows_default = true;
};

OutputFileFacts FactsAbout(const QString& path) {
  const QFileInfo file(path);
  const QFileInfo folder(file.absolutePath());
  OutputFileFacts facts;
  facts.folder_exists = folder.exists() && folder.isDir();
  facts.folder_writable = folder.isWritable();
  facts.file_exists = file.exists();
  facts.file_writable = file.isWritable();
  facts.is_directory = file.isDir();
  return facts;
}

QtCurrentPrinter* g_current_printer = nullptr;

void DestroyCurrentPrinter() {
  delete g_current_printer;
  g_current_printer = nullptr;
}

}  // namespace

std::optional<int16_t> CodeForQtValue(PrinterSetting setting, int qt_value) {
  if (setting == PrinterSetting::kCopies) return std::nullopt;
  if (setting == PrinterSetting::kPaperSize) {
    if (qt_value < 0 || qt_value > QPageSize::LastPageSize) return std::nullopt;
    const auto id = static_cast<QPageSize::PageSizeId>(qt_value);
    if (id == QPageSize::Custom) return static_cast<int16_t>(kCustomPaperCode);
    const int number = QPageSize::windowsId(id);
    return static_cast<int16_t>(number > 0 ? number : kOwnPaperSizeBase + qt_value);
  }
  if (setting == PrinterSetting::kPrintQuality) {
    if (!InCodeRange(qt_value)) return std::nullopt;
    return static_cast<int16_t>(qt_value);
  }
  for (const CodeRow& row : kCodeTable) {
    if (row.setting == setting && row.qt == qt_value) return row.code;
  }
  return std::nullopt;
}

std::optional<int> QtValueForCode(PrinterSetting setting, int16_t code) {
  if (setting == PrinterSetting::kCopies) return std::nullopt;
  if (setting == PrinterSetting::kPaperSize) {
    if (code == kCustomPaperCode || code <= 0) return std::nullopt;
    if (code > kOwnPaperSizeBase) {
      const int id = code - kOwnPaperSizeBase;
      if (id > QPageSize::LastPageSize) return std::nullopt;
      // Only sizes without a conventional number use the own range.
      if (QPageSize::windowsId(static_cast<QPageSize::PageSizeId>(id)) != 0) return std::nullopt;
      return id;
    }
    const QPageSize::PageSizeId id = QPageSize::id(static_cast<int>(code));
    if (id == QPageSize::Custom) return std::nullopt;
    return static_cast<int>(id);
  }
  if (setting == PrinterSetting::kPrintQuality && code > 0) return static_cast<int>(code);
  for (const CodeRow& row : kCodeTable) {
    if (row.setting == setting && row.code == code && row.writable) return row.qt;
  }
  return std::nullopt;
}

std::optional<int16_t> ReadPrinterSetting(const QPrinter& printer, PrinterSetting setting) {
  switch (setting) {
    case PrinterSetting::kCopies: {
      const int copies = printer.copyCount();
      if (!InCodeRange(copies)) return std::nullopt;
      return static_cast<int16_t>(copies);
    }
    case PrinterSetting::kOrientation: return CodeForQtValue(setting, printer.pageLayout().orientation());
    case PrinterSetting::kColorMode: return CodeForQtValue(setting, printer.colorMode());
    case PrinterSetting::kDuplexMode: return CodeForQtValue(setting, printer.duplex());
    case PrinterSetting::kPaperBin: return CodeForQtValue(setting, printer.paperSource());
    case PrinterSetting::kPaperSize: return CodeForQtValue(setting, printer.pageLayout().pageSize().id());
    case PrinterSetting::kPrintQuality: return CodeForQtValue(setting, printer.resolution());
  }
  return std::nullopt;
}

bool WritePrinterSetting(QPrinter& printer, PrinterSetting setting, int16_t code) {
  if (setting == PrinterSetting::kCopies) {
    if (code < 1) return false;
    printer.setCopyCount(code);
    return printer.copyCount() == code;
  }
  const std::optional<int> qt = QtValueForCode(setting, code);
  if (!qt) return false;
  switch (setting) {
    case PrinterSetting::kCopies: return false;
    case PrinterSetting::kOrientation:
      return printer.setPageOrientation(static_cast<QPageLayout::Orientation>(*qt));
    case PrinterSetting::kColorMode:
      printer.setColorMode(static_cast<QPrinter::ColorMode>(*qt));
      return printer.colorMode() == *qt;
    case PrinterSetting::kDuplexMode:
      // A device without duplex (a PDF file among them) prints one-sided
      // and reads back as none; that is the device, not a failure.
      printer.setDuplex(static_cast<QPrinter::DuplexMode>(*qt));
      return true;
    case PrinterSetting::kPaperBin:
      printer.setPaperSource(static_cast<QPrinter::PaperSource>(*qt));
      return printer.paperSource() == *qt;
    case PrinterSetting::kPaperSize:
      return printer.setPageSize(QPageSize(static_cast<QPageSize::PageSizeId>(*qt)));
    case PrinterSetting::kPrintQuality:
      // A device may round the resolution to one it has; that is not a failure.
      printer.setResolution(*qt);
      return true;
  }
  return false;
}

// ---- Current printer ----

QtCurrentPrinter::QtCurrentPrinter() {
  printer_.setDocName(QStringLiteral("Plot Spectra"));
  printer_.setCreator(QStringLiteral("Quillon"));
  FollowDefault();
}

void QtCurrentPrinter::FollowDefault() {
  if (!follows_default_) return;
  const QPrinterInfo system_default = QPrinterInfo::defaultPrinter();
  if (system_default.isNull()) return;
  if (PrintsToFile(printer_) || printer_.printerName() != system_default.printerName()) SelectDevice(system_default);
}

QPrinter& QtCurrentPrinter::Printer() {
  FollowDefault();
  return printer_;
}

bool QtCurrentPrinter::SelectDevice(const QPrinterInfo& info) {
  if (info.isNull()) return false;
  // A file name left over from printing to PDF would send device pages to it.
  printer_.setOutputFileName(QString());
  printer_.setOutputFormat(QPrinter::NativeFormat);
  printer_.setPrinterName(info.printerName());
  return !PrintsToFile(printer_) && printer_.printerName() == info.printerName();
}

std::optional<std::string> QtCurrentPrinter::DeviceName() {
  FollowDefault();
  return PrintsToFile(printer_) ? std::string() : ToStd(printer_.printerName());
}

std::optional<std::string> QtCurrentPrinter::DriverName() {
  FollowDefault();
  if (PrintsToFile(printer_)) return std::string();
  return ToStd(QPrinterInfo::printerInfo(printer_.printerName()).makeAndModel());
}

std::optional<std::string> QtCurrentPrinter::Port() {
  FollowDefault();
  return PrintsToFile(printer_) ? ToStd(printer_.outputFileName()) : std::string();
}

std::optional<int32_t> QtCurrentPrinter::Setting(PrinterSetting setting) {
  FollowDefault();
  const std::optional<int16_t> code = ReadPrinterSetting(printer_, setting);
  if (!code) return std::nullopt;
  return *code;
}

bool QtCurrentPrinter::SetSetting(PrinterSetting setting, int16_t value) {
  return WritePrinterSetting(printer_, setting, value);
}

bool QtCurrentPrinter::SetFollowsDefault(bool follows) {
  follows_default_ = follows;
  FollowDefault();
  return true;
}

bool QtCurrentPrinter::SetOutputFile(const std::string& path) {
  if (path.empty()) {
    if (!PrintsToFile(printer_)) {
      printer_.setOutputFileName(QString());
      return !PrintsToFile(printer_);
    }
    // Back from a file to a device: the system default is the only one known.
    return SelectDevice(QPrinterInfo::defaultPrinter());
  }
  const QString file = QString::fromStdString(path);
  printer_.setOutputFormat(QPrinter::PdfFormat);
  printer_.setOutputFileName(file);
  return PrintsToFile(printer_) && printer_.outputFileName() == file;
}

std::unique_ptr<PrinterSnapshot> QtCurrentPrinter::Save() {
  auto saved = std::make_unique<QtSnapshot>();
  saved->format = printer_.outputFormat();
  saved->name = printer_.printerName();
  saved->file = printer_.outputFileName();
  saved->copies = printer_.copyCount();
  saved->layout = printer_.pageLayout();
  saved->color = printer_.colorMode();
  saved->duplex = printer_.duplex();
  saved->source = printer_.paperSource();
  saved->resolution = printer_.resolution();
  saved->follows_default = follows_default_;
  return saved;
}

bool QtCurrentPrinter::Restore(const PrinterSnapshot& snapshot) {
  const auto* saved = dynamic_cast<const QtSnapshot*>(&snapshot);
  if (saved == nullptr) return false;
  bool ok = true;
  if (saved->format == QPrinter::PdfFormat) {
    // The file first: an empty name alone would switch back to a device.
    printer_.setOutputFileName(saved->file);
    printer_.setOutputFormat(QPrinter::PdfFormat);
    ok = PrintsToFile(printer_) && printer_.outputFileName() == saved->file;
  } else {
    ok = SelectDevice(QPrinterInfo::printerInfo(saved->name));
  }
  printer_.setCopyCount(saved->copies);
  ok = printer_.setPageLayout(saved->layout) && ok;
  printer_.setColorMode(saved->color);
  printer_.setDuplex(saved->duplex);
  printer_.setPaperSource(saved->source);
  printer_.setResolution(saved->resolution);
  follows_default_ = saved->follows_default;
  return ok;
}

QtCurrentPrinter& CurrentQtPrinter() {
  if (g_current_printer == nullptr) {
    g_current_printer = new QtCurrentPrinter;
    // Gone before the application object, while Qt Print Support still works.
    qAddPostRoutine(DestroyCurrentPrinter);
  }
  return *g_current_printer;
}

// ---- Installed printers ----

QtInstalledPrinters::QtInstalledPrinters(QtCurrentPrinter& current)
    : current_(current), printers_(QPrinterInfo::availablePrinters()) {}

std::optional<std::size_t> QtInstalledPrinters::Count() { return static_cast<std::size_t>(printers_.size()); }

std::optional<std::string> QtInstalledPrinters::DeviceName(std::size_t index) {
  if (index >= static_cast<std::size_t>(printers_.size())) return std::nullopt;
  return ToStd(printers_.at(static_cast<qsizetype>(index)).printerName());
}

bool QtInstalledPrinters::MakeCurrent(std::size_t index) {
  if (index >= static_cast<std::size_t>(printers_.size())) return false;
  return current_.SelectDevice(printers_.at(static_cast<qsizetype>(index)));
}

// ---- Printer dialog ----

QtPrinterDialog::QtPrinterDialog(QWidget* owner) {
  printer_.setDocName(QStringLiteral("Plot Spectra"));
  dialog_ = new QPrintDialog(&printer_, owner);
  dialog_->setModal(true);
}

QtPrinterDialog::~QtPrinterDialog() { delete dialog_.data(); }

bool QtPrinterDialog::SetPrinterName(const std::string& name) {
  if (name.empty()) {
    printer_.setOutputFormat(QPrinter::PdfFormat);
    return PrintsToFile(printer_);
  }
  // A printer that is no longer installed leaves the dialog on its default.
  const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(name));
  if (!info.isNull()) {
    printer_.setOutputFormat(QPrinter::NativeFormat);
    printer_.setPrinterName(info.printerName());
  }
  return true;
}

bool QtPrinterDialog::SetDriverName(const std::string&) { return true; }  // Qt picks the driver by printer

bool QtPrinterDialog::SetPort(const std::string& port) {
  // The port of a file printer is its file, which the dialog offers again.
  if (PrintsToFile(printer_) && !port.empty()) printer_.setOutputFileName(QString::fromStdString(port));
  return true;
}

bool QtPrinterDialog::SetSetting(PrinterSetting setting, int16_t value) {
  return WritePrinterSetting(printer_, setting, value);
}

bool QtPrinterDialog::SetFlags(int32_t flags) {
  if (!dialog_) return false;
  dialog_->setOption(QAbstractPrintDialog::PrintSelection, (flags & kDialogNoSelection) == 0);
  dialog_->setOption(QAbstractPrintDialog::PrintPageRange, (flags & kDialogNoPageNumbers) == 0);
  return true;
}

std::optional<bool> QtPrinterDialog::Show() {
  if (!dialog_) return std::nullopt;
  return dialog_->exec() == QDialog::Accepted;
}

std::optional<std::string> QtPrinterDialog::PrinterName() {
  return PrintsToFile(printer_) ? std::string() : ToStd(printer_.printerName());
}

std::optional<int16_t> QtPrinterDialog::Setting(PrinterSetting setting) { return ReadPrinterSetting(printer_, setting); }

std::optional<std::string> QtPrinterDialog::OutputFile() {
  if (!PrintsToFile(printer_)) return std::string();
  // Printing to a file without a file name is no destination at all.
  if (printer_.outputFileName().isEmpty()) return std::nullopt;
  return ToStd(printer_.outputFileName());
}

std::unique_ptr<PrinterDialog> QtPrinterDialogFactory::Create() {
  if (!owner_) return nullptr;
  return std::make_unique<QtPrinterDialog>(owner_.data());
}

// ---- Printing ----

namespace {

// One page on a printer whose destination is set.
std::optional<PrintFailure> PaintOnePage(QPrinter& printer, const QSizeF& picture_size,
                                         const std::function<void(QPainter&, const QRectF&)>& draw) {
  // Printing area in device pixels; the painter's origin is its top left.
  const QRectF page = printer.pageRect(QPrinter::DevicePixel);
  const std::optional<PageRect> fitted =
      FitToPage(picture_size.width(), picture_size.height(), page.width(), page.height());
  // Nothing that could be drawn: no page rather than a blank one.
  if (!fitted) return PrintFailure::kOutputFailed;

  QPainter painter;
  if (!painter.begin(&printer)) {
    if (PrintsToFile(printer)) return ClassifyOutputFileFailure(FactsAbout(printer.outputFileName()));
    return PrintFailure::kDeviceUnavailable;
  }
  draw(painter, QRectF(fitted->left, fitted->top, fitted->width, fitted->height));
  if (!painter.end()) return PrintFailure::kOutputFailed;
  if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted) {
    return PrintFailure::kOutputFailed;
  }
  return std::nullopt;
}

}  // namespace

bool HasNoDestination(const QPrinter& printer) {
  return PrintsToFile(printer) && printer.outputFileName().isEmpty();
}

std::optional<PrintFailure> PrintOnePage(QPrinter& printer, const QSizeF& picture_size,
                                         const std::function<void(QPainter&, const QRectF&)>& draw) {
  if (!PrintsToFile(printer)) return PaintOnePage(printer, picture_size, draw);
  if (HasNoDestination(printer)) return PrintFailure::kNoDestination;
  return PrintOnePageToFile(printer, printer.outputFileName().toStdString(), picture_size, draw);
}

std::optional<PrintFailure> PrintOnePageToFile(QPrinter& printer, const std::string& path, const QSizeF& picture_size,
                                               const std::function<void(QPainter&, const QRectF&)>& draw) {
  ReplacingFile file;
  if (const int error = file.Create(path); error != 0) return PrintFailureForErrno(error);
  // The printer's own PDF output, into the temporary file; its file name
  // is given back afterwards.
  const QString kept_name = printer.outputFileName();
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(file.TemporaryPath()));
  const std::optional<PrintFailure> failure = PaintOnePage(printer, picture_size, draw);
  printer.setOutputFileName(kept_name);
  printer.setOutputFormat(QPrinter::PdfFormat);  // an empty name alone would turn to a device
  if (failure) return failure;  // the temporary file is removed, the target untouched
  if (const int error = file.Commit(); error != 0) return PrintFailureForErrno(error);
  return std::nullopt;
}

}  // namespace quillon
