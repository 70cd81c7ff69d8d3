#pragma once
// Writing the plot to files without Qt: the export formats and how a file
// name chooses one, the messages of File "Export ...", the save dialog that
// Print and Export ask for a file name, and ReplacingFile, which writes a new
// file beside its target and renames it over the target only when complete.

#include <optional>
#include <string>

#include "session/printer_setup.h"

namespace quillon {

enum class ExportFormat { kPng, kSvg, kPdf };

/// The format a file name asks for by its extension (case-blind): ".png",
/// ".svg" or ".pdf"; nullopt for any other ending or none.
std::optional<ExportFormat> ExportFormatForPath(const std::string& path);

/// The file types the Export dialog offers, in a file dialog's filter form.
inline constexpr const char* kExportFilters = "PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)";
/// The file type the Print dialog offers when there is no printer.
inline constexpr const char* kPdfFilter = "PDF document (*.pdf)";
/// Captions of the two save dialogs.
inline constexpr const char* kExportDialogTitle = "Export";
inline constexpr const char* kPrintToFileDialogTitle = "Print to PDF File";

/// `name` in `folder` (the spectrum's folder): the name a save dialog
/// proposes. An empty folder proposes the bare name (the current folder).
std::string ProposedFilePath(const std::string& folder, const std::string& name);

/// Message for a file name whose extension chooses no format.
std::string ExportFormatMessage(const std::string& path);
/// Message for an export that could not be written; `reason` as strerror gives it.
std::string ExportFailureMessage(const std::string& path, const std::string& reason);

/// The failure a print to a PDF file reports for a system error number:
/// a missing folder 76, no permission 70, anything else 75.
PrintFailure PrintFailureForErrno(int error);

/// A modal save dialog. Tests answer it for the user.
class SaveDialog {
 public:
  virtual ~SaveDialog() = default;
  /// Asks for the name of a file to write, starting at `proposed` (folder and
  /// name), offering `filters` (";;"-separated, "PDF document (*.pdf)"). An
  /// existing file is written over only after the user has confirmed it.
  /// nullopt (or "") when the user cancels.
  virtual std::optional<std::string> AskFileName(const std::string& title, const std::string& proposed,
                                                 const std::string& filters) = 0;
};

/// A new file for `target`, made as a fresh temporary file beside it and
/// renamed over it by Commit. The target is never opened: an existing
/// symbolic link there is replaced, not followed, so nothing is written
/// through a link that someone else may have put in the way, and a reader
/// never sees half a file. A file that is not committed is removed.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  /// Makes the temporary file (mode 0666 less the umask, or the permissions
  /// of the regular file it replaces). Returns 0 or the system error number:
  /// an existing target that is not a link and may not be written gives
  /// EACCES, as writing it in place would.
  int Create(const std::string& target);
  /// The temporary file's descriptor (open for writing) and path.
  int Descriptor() const { return fd_; }
  const std::string& TemporaryPath() const { return temp_; }
  /// Syncs and closes the temporary file and renames it over the target.
  /// Returns 0 or the system error number (the temporary file is then gone).
  int Commit();
  /// Removes the temporary file; the target stays as it was.
  void Discard();

 private:
  std::string target_;
  std::string temp_;
  int fd_ = -1;
};

}  // namespace quillon
