#include "session/printer_setup.h"

#include <cmath>
#include <limits>
#include <utility>

#include "session/error_text.h"

namespace quillon {

const char* SettingName(PrinterSetting setting) {
  switch (setting) {
    case PrinterSetting::kCopies: return "copies";
    case PrinterSetting::kOrientation: return "orientation";
    case PrinterSetting::kColorMode: return "colour mode";
    case PrinterSetting::kDuplexMode: return "duplex mode";
    case PrinterSetting::kPaperBin: return "paper bin";
    case PrinterSetting::kPaperSize: return "paper size";
    case PrinterSetting::kPrintQuality: return "print quality";
  }
  return "setting";
}

std::string UpperCaseAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

namespace {

// One run of "Print Setup ...". Each step either succeeds or reports the one
// message of the command; after the printer's first change, a failure also
// puts the saved state back.
class PrintSetupRun {
 public:
  PrintSetupRun(CurrentPrinter& printer, InstalledPrinters& installed, MessageSink& messages)
      : printer_(printer), installed_(installed), messages_(messages) {}

  PrintSetupResult Run(PrinterDialogFactory& dialogs) {
    std::unique_ptr<PrinterDialog> dialog = dialogs.Create();
    if (!dialog) return Fail("open the printer dialog");

    // The dialog starts from the current printer's name, driver, port and bin.
    const std::optional<std::string> device = printer_.DeviceName();
    if (!device) return Fail("read the printer's device name");
    if (!dialog->SetPrinterName(*device)) return Fail("give the printer dialog the printer's name");
    const std::optional<std::string> driver = printer_.DriverName();
    if (!driver) return Fail("read the printer's driver name");
    if (!dialog->SetDriverName(*driver)) return Fail("give the printer dialog the printer's driver name");
    const std::optional<std::string> port = printer_.Port();
    if (!port) return Fail("read the printer's port");
    if (!dialog->SetPort(*port)) return Fail("give the printer dialog the printer's port");
    const std::optional<int32_t> bin = printer_.Setting(PrinterSetting::kPaperBin);
    if (!bin) return Fail("read the printer's paper bin");
    // The dialog holds 16-bit codes; a bin beyond them is refused rather
    // than handed over as some other bin.
    if (*bin < std::numeric_limits<int16_t>::min() || *bin > std::numeric_limits<int16_t>::max()) {
      return Fail("give the printer dialog paper bin " + std::to_string(*bin));
    }
    if (!dialog->SetSetting(PrinterSetting::kPaperBin, static_cast<int16_t>(*bin))) {
      return Fail("give the printer dialog the printer's paper bin");
    }
    if (!dialog->SetFlags(kPrintSetupDialogFlags)) return Fail("set the printer dialog's options");

    saved_ = printer_.Save();
    if (!saved_) return Fail("note the printer's settings");
    // Cleared before the dialog and left so whatever the user does.
    if (!printer_.SetFollowsDefault(false)) return Fail("stop the printer following the default printer");

    const std::optional<bool> confirmed = dialog->Show();
    if (!confirmed) return Fail("show the printer dialog");
    if (!*confirmed) return PrintSetupResult::kCancelled;

    const std::optional<std::string> chosen = dialog->PrinterName();
    if (!chosen) return Fail("read the printer chosen in the dialog");
    const std::string name = UpperCaseAscii(*chosen);
    const std::optional<std::string> current = printer_.DeviceName();
    if (!current) return Fail("read the printer's device name");
    // The current name is not upper-cased: a current printer whose name has
    // lower-case letters is looked up again and made current once more.
    if (name != *current && !MakeMatchesCurrent(name)) return PrintSetupResult::kFailed;

    const std::optional<std::string> file = dialog->OutputFile();
    if (!file) return Fail("read the destination chosen in the dialog");
    if (!printer_.SetOutputFile(*file)) {
      return Fail(file->empty() ? std::string("print to the printer device") : "print to the file " + *file);
    }

    for (PrinterSetting setting : kCopiedSettings) {
      const std::optional<int16_t> value = dialog->Setting(setting);
      if (!value) return Fail(std::string("read the ") + SettingName(setting) + " chosen in the dialog");
      if (!printer_.SetSetting(setting, *value)) {
        return Fail(std::string("set the printer's ") + SettingName(setting) + " to " + std::to_string(*value));
      }
    }
    return PrintSetupResult::kConfirmed;
  }

 private:
  // Every installed printer of the upper-cased name becomes current in turn,
  // in the platform's order, so the last match stays; with none the current
  // printer stays.
  bool MakeMatchesCurrent(const std::string& name) {
    const std::optional<std::size_t> count = installed_.Count();
    if (!count) {
      Fail("read the list of installed printers");
      return false;
    }
    for (std::size_t i = 0; i < *count; ++i) {
      const std::optional<std::string> candidate = installed_.DeviceName(i);
      if (!candidate) {
        Fail("read the name of installed printer " + std::to_string(i + 1));
        return false;
      }
      if (UpperCaseAscii(*candidate) != name) continue;
      if (!installed_.MakeCurrent(i)) {
        Fail("make " + *candidate + " the current printer");
        return false;
      }
    }
    return true;
  }

  PrintSetupResult Fail(const std::string& what) {
    std::string text = "Print Setup could not " + what + ".";
    if (saved_ == nullptr || printer_.Restore(*saved_)) {
      text += " The printer keeps its settings.";
    } else {
      text += " The printer's earlier settings could not be restored either.";
    }
    messages_.ShowMessage(text);
    return PrintSetupResult::kFailed;
  }

  CurrentPrinter& printer_;
  InstalledPrinters& installed_;
  MessageSink& messages_;
  std::unique_ptr<PrinterSnapshot> saved_;
};

}  // namespace

PrintSetupResult PrintSetupCommand(CurrentPrinter& printer, InstalledPrinters& installed,
                                   PrinterDialogFactory& dialogs, MessageSink& messages) {
  return PrintSetupRun(printer, installed, messages).Run(dialogs);
}

int32_t PrintErrorNumber(PrintFailure failure) {
  switch (failure) {
    case PrintFailure::kNoDestination: return 68;
    case PrintFailure::kDeviceUnavailable: return 68;
    case PrintFailure::kFolderMissing: return 76;
    case PrintFailure::kPermissionDenied: return 70;
    case PrintFailure::kFileAccess: return 75;
    case PrintFailure::kOutputFailed: return 57;
  }
  return 57;
}

std::string PrintFailureReport(const SharedState& state, PrintFailure failure) {
  return ErrorReportText(state, PrintErrorNumber(failure));
}

PrintFailure ClassifyOutputFileFailure(const OutputFileFacts& facts) {
  if (facts.is_directory) return PrintFailure::kFileAccess;
  if (!facts.folder_exists) return PrintFailure::kFolderMissing;
  if (facts.file_exists ? !facts.file_writable : !facts.folder_writable) return PrintFailure::kPermissionDenied;
  return PrintFailure::kFileAccess;
}

std::optional<PageRect> FitToPage(double picture_width, double picture_height, double page_width,
                                  double page_height) {
  for (double size : {picture_width, picture_height, page_width, page_height}) {
    if (!std::isfinite(size) || size <= 0) return std::nullopt;
  }
  const double scale = std::fmin(page_width / picture_width, page_height / picture_height);
  PageRect rect;
  rect.width = picture_width * scale;
  rect.height = picture_height * scale;
  if (!std::isfinite(rect.width) || !std::isfinite(rect.height) || rect.width <= 0 || rect.height <= 0) {
    return std::nullopt;
  }
  rect.left = (page_width - rect.width) / 2;
  rect.top = (page_height - rect.height) / 2;
  return rect;
}

}  // namespace quillon
