#pragma once
// The printer interfaces of plot/printer_setup.h over Qt Print Support: the
// one QPrinter of the run, the installed printers from QPrinterInfo, the
// printer dialog as a modal QPrintDialog, and the printing of one page.
//
// A printer prints either to its device (a named printer) or to a PDF file.
// Its device name is the printer's name, "" when it prints to a file; its
// port is the PDF file's path, "" for a device; its driver name is the
// device's make and model. Qt has no "follow the system default" switch: the
// current printer starts out following it and, while it does, takes the
// system default printer again before every use.

#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSizeF>
#include <functional>
#include <memory>
#include <optional>

#include "session/printer_setup.h"

class QPainter;
class QRectF;
class QWidget;

namespace quillon {

/// Code of a setting for a Qt value, through the one table in qt_printer.cpp
/// (orientation: QPageLayout::Orientation, colour: QPrinter::ColorMode,
/// duplex: QPrinter::DuplexMode, bin: QPrinter::PaperSource, paper size:
/// QPageSize::PageSizeId, quality: dots per inch). nullopt when the value has
/// no code; copies have no table.
std::optional<int16_t> CodeForQtValue(PrinterSetting setting, int qt_value);
/// The Qt value behind a code; nullopt for a code the table does not know.
std::optional<int> QtValueForCode(PrinterSetting setting, int16_t code);

/// A setting of `printer` as a code; nullopt when Qt's value has none.
std::optional<int16_t> ReadPrinterSetting(const QPrinter& printer, PrinterSetting setting);
/// Sets a setting of `printer` from a code; false for an unknown code, fewer
/// than one copy, or a value the printer refuses.
bool WritePrinterSetting(QPrinter& printer, PrinterSetting setting, int16_t code);

/// The current printer: one QPrinter at printer resolution for the whole run.
class QtCurrentPrinter final : public CurrentPrinter {
 public:
  /// Starts on the system's default printer, or on a PDF printer without a
  /// file when none is installed. Needs the QApplication.
  QtCurrentPrinter();
  QtCurrentPrinter(const QtCurrentPrinter&) = delete;
  QtCurrentPrinter& operator=(const QtCurrentPrinter&) = delete;

  /// The printer to draw on, first brought to the system default when it
  /// follows it. Owned by this object.
  QPrinter& Printer();
  bool FollowsDefault() const { return follows_default_; }
  /// Prints to the named installed printer; false when it is not installed.
  bool SelectDevice(const QPrinterInfo& info);

  std::optional<std::string> DeviceName() override;
  std::optional<std::string> DriverName() override;
  std::optional<std::string> Port() override;
  std::optional<int32_t> Setting(PrinterSetting setting) override;
  bool SetSetting(PrinterSetting setting, int16_t value) override;
  bool SetFollowsDefault(bool follows) override;
  bool SetOutputFile(const std::string& path) override;
  std::unique_ptr<PrinterSnapshot> Save() override;
  bool Restore(const PrinterSnapshot& snapshot) override;

 private:
  void FollowDefault();

  QPrinter printer_{QPrinter::HighResolution};
  bool follows_default_ = true;
};

/// The current printer of the run, created at first use (after the
/// QApplication) and destroyed while the application shuts down.
QtCurrentPrinter& CurrentQtPrinter();

/// The installed printers as QPrinterInfo lists them when this object is made.
class QtInstalledPrinters final : public InstalledPrinters {
 public:
  explicit QtInstalledPrinters(QtCurrentPrinter& current);
  std::optional<std::size_t> Count() override;
  std::optional<std::string> DeviceName(std::size_t index) override;
  bool MakeCurrent(std::size_t index) override;

 private:
  QtCurrentPrinter& current_;
  QList<QPrinterInfo> printers_;
};

/// The printer dialog: a modal QPrintDialog owned by `owner` over a printer
/// of its own, which takes the properties set on the dialog and, after OK,
/// holds the user's choices. Offers "Print to File (PDF)".
class QtPrinterDialog final : public PrinterDialog {
 public:
  explicit QtPrinterDialog(QWidget* owner);
  ~QtPrinterDialog() override;
  QtPrinterDialog(const QtPrinterDialog&) = delete;
  QtPrinterDialog& operator=(const QtPrinterDialog&) = delete;

  /// The dialog widget (nullptr if its owner destroyed it) and its printer.
  QPrintDialog* Dialog() const { return dialog_.data(); }
  QPrinter& DialogPrinter() { return printer_; }

  bool SetPrinterName(const std::string& name) override;
  bool SetDriverName(const std::string& name) override;
  bool SetPort(const std::string& port) override;
  bool SetSetting(PrinterSetting setting, int16_t value) override;
  /// Option bits 4 and 8 remove the selection and the page range; other bits
  /// have no counterpart here and are accepted without effect.
  bool SetFlags(int32_t flags) override;
  std::optional<bool> Show() override;
  std::optional<std::string> PrinterName() override;
  std::optional<int16_t> Setting(PrinterSetting setting) override;
  std::optional<std::string> OutputFile() override;

 private:
  QPrinter printer_{QPrinter::HighResolution};  // declared first: outlives the dialog
  QPointer<QPrintDialog> dialog_;
};

/// Makes QtPrinterDialogs owned by one window.
class QtPrinterDialogFactory final : public PrinterDialogFactory {
 public:
  explicit QtPrinterDialogFactory(QWidget* owner) : owner_(owner) {}
  std::unique_ptr<PrinterDialog> Create() override;

 private:
  QPointer<QWidget> owner_;
};

/// Prints one page on `printer`: `draw` paints a picture of `picture_size`
/// (any unit) into the rectangle it is given, the largest of the picture's
/// shape that fits the printable area, centred, in the printer's device
/// pixels. Returns why no page came out, or nullopt on success. A PDF file
/// is written as PrintOnePageToFile writes it.
std::optional<PrintFailure> PrintOnePage(QPrinter& printer, const QSizeF& picture_size,
                                         const std::function<void(QPainter&, const QRectF&)>& draw);

/// Prints one page as PrintOnePage does, as a PDF file at `path`, with the
/// printer's page layout and resolution: the printer writes a fresh
/// temporary file beside `path` (a ReplacingFile), which then replaces it;
/// a failed print leaves `path` as it was. The printer ends printing to a
/// PDF file again, under its own file name.
std::optional<PrintFailure> PrintOnePageToFile(QPrinter& printer, const std::string& path, const QSizeF& picture_size,
                                               const std::function<void(QPainter&, const QRectF&)>& draw);

/// Whether `printer` has nowhere to print: a PDF printer without a file.
bool HasNoDestination(const QPrinter& printer);

}  // namespace quillon
