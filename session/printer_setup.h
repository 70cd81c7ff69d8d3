#pragma once
// The plot window's printer commands without Qt: "Print Setup ..." as a fixed
// sequence of calls over three small interfaces (the current printer, the
// installed printers, the printer dialog), the run-time error numbers a failed
// print is reported with, and the page geometry of a print.
//
// Printer and dialog properties use the printers' own codes: orientation
// 1 portrait / 2 landscape, colour mode 1 monochrome / 2 colour, duplex mode
// 1 none / 2 long edge / 3 short edge; paper bin, paper size and print quality
// are numbers the platform layer defines (plot/qt_printer.h documents them).
// Every property read or write can fail; a failure is reported once and the
// printer is put back as it was.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "session/shared_state.h"
#include "session/window_services.h"

namespace quillon {

/// The seven settings that a confirmed printer dialog hands to the current
/// printer, declared in the order in which they are copied.
enum class PrinterSetting { kCopies, kOrientation, kColorMode, kDuplexMode, kPaperBin, kPaperSize, kPrintQuality };

/// The copy order of a confirmed dialog: copies, orientation, colour mode,
/// duplex mode, paper bin, paper size, print quality.
inline constexpr std::array<PrinterSetting, 7> kCopiedSettings = {
    PrinterSetting::kCopies,    PrinterSetting::kOrientation, PrinterSetting::kColorMode,
    PrinterSetting::kDuplexMode, PrinterSetting::kPaperBin,    PrinterSetting::kPaperSize,
    PrinterSetting::kPrintQuality};

/// Lower-case name of a setting for messages ("paper bin").
const char* SettingName(PrinterSetting setting);

inline constexpr int16_t kOrientationPortrait = 1;
inline constexpr int16_t kOrientationLandscape = 2;
inline constexpr int16_t kColorMonochrome = 1;
inline constexpr int16_t kColorColor = 2;
inline constexpr int16_t kDuplexNone = 1;
inline constexpr int16_t kDuplexLongEdge = 2;
inline constexpr int16_t kDuplexShortEdge = 3;

/// Printer dialog option bits.
inline constexpr int32_t kDialogNoSelection = 4;
inline constexpr int32_t kDialogNoPageNumbers = 8;
inline constexpr int32_t kDialogReturnDeviceContext = 256;
/// The options "Print Setup ..." opens the dialog with (268): neither a
/// selection nor a page range is offered.
inline constexpr int32_t kPrintSetupDialogFlags = kDialogNoSelection | kDialogNoPageNumbers | kDialogReturnDeviceContext;

/// Everything about a printer that a later Restore puts back; the contents
/// belong to the CurrentPrinter that made it.
class PrinterSnapshot {
 public:
  virtual ~PrinterSnapshot() = default;
};

/// The printer that "Print" draws on; one for the whole run.
class CurrentPrinter {
 public:
  virtual ~CurrentPrinter() = default;
  /// Device name, driver name and port as text; nullopt when unreadable.
  virtual std::optional<std::string> DeviceName() = 0;
  virtual std::optional<std::string> DriverName() = 0;
  virtual std::optional<std::string> Port() = 0;
  /// A setting's code; nullopt when unreadable.
  virtual std::optional<int32_t> Setting(PrinterSetting setting) = 0;
  /// Sets a setting's code; false when the printer refuses it.
  virtual bool SetSetting(PrinterSetting setting, int16_t value) = 0;
  /// Whether the printer follows the system's default printer; false on failure.
  virtual bool SetFollowsDefault(bool follows) = 0;
  /// Where pages go: "" for the printer device, otherwise the path of a PDF
  /// file to write. False when the destination cannot be taken.
  virtual bool SetOutputFile(const std::string& path) = 0;
  /// Remembers the printer's whole state; nullptr on failure.
  virtual std::unique_ptr<PrinterSnapshot> Save() = 0;
  /// Puts back a state that Save of this printer returned; false on failure.
  virtual bool Restore(const PrinterSnapshot& snapshot) = 0;
};

/// The platform's installed printers, in the platform's order.
class InstalledPrinters {
 public:
  virtual ~InstalledPrinters() = default;
  /// Number of printers; nullopt when the list cannot be read.
  virtual std::optional<std::size_t> Count() = 0;
  /// Device name of printer `index` (0-based); nullopt when unreadable.
  virtual std::optional<std::string> DeviceName(std::size_t index) = 0;
  /// Makes printer `index` the current printer for the rest of the run;
  /// false on failure.
  virtual bool MakeCurrent(std::size_t index) = 0;
};

/// One modal printer dialog. Setters return false on failure, getters nullopt.
class PrinterDialog {
 public:
  virtual ~PrinterDialog() = default;
  virtual bool SetPrinterName(const std::string& name) = 0;
  virtual bool SetDriverName(const std::string& name) = 0;
  virtual bool SetPort(const std::string& port) = 0;
  virtual bool SetSetting(PrinterSetting setting, int16_t value) = 0;
  virtual bool SetFlags(int32_t flags) = 0;
  /// Shows the dialog modally over the window that owns it and returns when
  /// it closes: true when confirmed, false when cancelled, nullopt when it
  /// could not be shown.
  virtual std::optional<bool> Show() = 0;
  virtual std::optional<std::string> PrinterName() = 0;
  virtual std::optional<int16_t> Setting(PrinterSetting setting) = 0;
  /// The PDF file chosen as destination, or "" for a printer device.
  virtual std::optional<std::string> OutputFile() = 0;
};

/// Makes the printer dialogs of one window.
class PrinterDialogFactory {
 public:
  virtual ~PrinterDialogFactory() = default;
  /// A fresh dialog owned by the factory's window; nullptr when none can be
  /// made. The caller releases it when the command ends.
  virtual std::unique_ptr<PrinterDialog> Create() = 0;
};

enum class PrintSetupResult { kConfirmed, kCancelled, kFailed };

/// File, "Print Setup ...": a fresh dialog gets the current printer's device
/// name, driver, port and paper bin and the flags 268; the printer stops
/// following the system default; the dialog is shown; when confirmed, the
/// upper-cased dialog printer name, if it differs from the current device
/// name (compared exactly), makes every installed printer of that upper-cased
/// name current in turn (the last match stays), the destination follows the
/// dialog (printer or PDF file), and the seven settings are copied in the
/// order of kCopiedSettings. Cancel leaves the printer as it was apart from
/// the default flag. Any failed property read or write shows one message in
/// `messages`, restores the printer's earlier state and gives kFailed.
PrintSetupResult PrintSetupCommand(CurrentPrinter& printer, InstalledPrinters& installed,
                                   PrinterDialogFactory& dialogs, MessageSink& messages);

/// `text` with the ASCII letters a-z made upper case; other bytes (UTF-8
/// sequences included) unchanged.
std::string UpperCaseAscii(std::string text);

/// Why a print produced no page.
enum class PrintFailure {
  kNoDestination,      ///< no printer device and no PDF file chosen
  kDeviceUnavailable,  ///< the printer device could not be opened
  kFolderMissing,      ///< the PDF file's folder does not exist
  kPermissionDenied,   ///< the PDF file or its folder may not be written
  kFileAccess,         ///< the PDF file cannot be opened for another reason
  kOutputFailed,       ///< the page was started but could not be finished
};

/// The run-time error number a print failure is reported with: 68 (device
/// unavailable) for no destination or a device that cannot be opened, 76
/// (path not found), 70 (permission denied), 75 (path/file access error) for
/// a PDF file, 57 (device I/O error) when the page cannot be finished.
int32_t PrintErrorNumber(PrintFailure failure);

/// The report text of a print failure: " 68 Error 68: Device unavailable.".
std::string PrintFailureReport(const SharedState& state, PrintFailure failure);

/// What is known about a PDF output file that could not be opened.
struct OutputFileFacts {
  bool folder_exists = true;
  bool folder_writable = true;
  bool file_exists = false;
  bool file_writable = false;
  bool is_directory = false;  ///< the path names a folder, not a file
};

/// Which failure a PDF output file that would not open is: a folder in
/// place of the file and unexplained cases give kFileAccess.
PrintFailure ClassifyOutputFileFailure(const OutputFileFacts& facts);

/// A rectangle in page units (device pixels of the printer).
struct PageRect {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
};

/// The largest rectangle of the picture's aspect ratio inside the page,
/// centred on it. nullopt when a size is not finite or not positive, so no
/// such value ever reaches the drawing.
std::optional<PageRect> FitToPage(double picture_width, double picture_height, double page_width,
                                  double page_height);

}  // namespace quillon
