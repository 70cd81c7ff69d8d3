#pragma once
// The Qt-free rules behind the FITS file chooser (FileChooser): the size
// rules of its resize handler, the file-type pattern, the folder, file and
// drive lists it shows. Nothing here throws on a file-system error: each
// listing returns its error text, which the window shows in a message box.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

/// Smallest outer size of the chooser, twips.
inline constexpr double kChooserMinWidth = 6525;
inline constexpr double kChooserMinHeight = 3540;

/// The file-type patterns of the chooser's file-type list, in list order.
/// The FITS patterns list gzip-compressed files too (MatchesFileType); the
/// last entry lists only those.
inline constexpr const char* kChooserPatterns[] = {"*.fts", "*.fit", "*.fits", "*.*", "*.fits.gz"};
inline constexpr int kChooserPatternCount = 5;

/// An outer window size, twips.
struct ChooserSize {
  double width = 0;
  double height = 0;
};

/// The size the window must be given before its controls are laid out: each
/// dimension below its minimum (or not a finite number) raised to it; a size
/// already large enough comes back unchanged.
ChooserSize SnapChooserSize(double width, double height);

/// What the size rules give the controls, twips. Widths are reals: any width
/// beyond 7830 is shared equally between the two columns, so halves occur.
struct ChooserLayout {
  double left_column_width = 0;   ///< the name box, the file list and the file-type list
  double file_list_height = 0;
  double type_label_top = 0;
  double type_list_top = 0;
  double right_column_left = 0;   ///< Left of the folder and path labels, the folder list,
                                  ///< the drive label and the drive list
  double right_column_width = 0;  ///< the folder list and the drive list
  double folder_list_height = 0;
  double drive_label_top = 0;
  double drive_list_top = 0;
  double button_left = 0;         ///< OK and Cancel
};

/// The layout for an outer size of `width` x `height` twips. The caller
/// snaps the size first (SnapChooserSize); a size below the minimum is laid
/// out as the minimum, so no control ever gets a negative or non-finite size.
ChooserLayout ComputeChooserLayout(double width, double height);

/// Height of the band under the controls that shows the spectra of a file
/// holding several, twips. While it shows, the window is that much taller
/// and the size rules lay out the rest as for the height without it.
inline constexpr double kChooserSpectraBand = 2100;

/// Where the band's label and list go, twips, for the layout the size rules
/// gave the height without the band.
struct ChooserBand {
  double label_top = 0;
  double list_top = 0;
  double list_width = 0;  ///< from the left margin to the buttons' right edge
  double list_height = 0;
};
ChooserBand ComputeChooserBand(const ChooserLayout& layout);

/// Whether a file name matches a file-type pattern ('*' any run of
/// characters, '?' any one). Letter case is ignored, since FITS files often
/// carry upper-case names: "*.fts" matches "STAR.FTS". "*.*" matches every
/// name, with or without a dot.
bool MatchesPattern(std::string_view name, std::string_view pattern);

/// Whether a file name belongs in the file list under a file-type pattern:
/// MatchesPattern, and for a pattern other than "*.*" that does not itself
/// end in ".gz", also the name with a ".gz" ending taken off ("*.fits" lists
/// "star.fits.gz").
bool MatchesFileType(std::string_view name, std::string_view pattern);

/// Sorts names as file lists show them: letter case ignored, names that
/// differ only in case in plain byte order.
void SortAsFileList(std::vector<std::string>& names);

/// Names read from a folder, or the reason it could not be read.
struct FolderNames {
  std::vector<std::string> names;
  std::string error;  ///< empty on success; otherwise a sentence naming the folder and the reason
  bool ok() const { return error.empty(); }
};

/// The files of `folder` (regular files, symbolic links to files included)
/// whose names match `pattern` (MatchesFileType), sorted. Hidden files (names starting with a
/// dot) are left out.
FolderNames ListMatchingFiles(const std::string& folder, const std::string& pattern);

/// The subfolders of `folder` (symbolic links to folders included), sorted,
/// hidden ones left out.
FolderNames ListSubfolders(const std::string& folder);

/// An absolute, lexically normal form of `path` without a trailing
/// separator ("/" stays "/"); relative paths are taken from the current
/// directory. Empty when the path is empty or the current directory cannot
/// be found.
std::string NormalizeFolderPath(const std::string& path);

/// One line of the folder list.
struct FolderEntry {
  std::string name;  ///< what the line shows: "/" for the root, else the last path component
  std::string path;  ///< the folder the line opens
  int depth = 0;     ///< indentation level: 0 for the root
  bool open = false; ///< an ancestor of the path or the path itself (drawn as an open folder)
};

/// The folder list for a path: the path's ancestors from the root down to
/// the path itself, then the path's subfolders one level deeper.
struct FolderList {
  std::string path;                 ///< the normalised path
  std::vector<FolderEntry> entries;
  std::size_t current = 0;          ///< index of the path's own line
  std::string error;                ///< empty on success
  bool ok() const { return error.empty(); }
};

/// Builds the folder list for `path`. A path that is not a readable folder
/// gives an error naming it and the reason, and no entries.
FolderList BuildFolderList(const std::string& path);

/// Mount points of the drive list from the text of a mounts table (the
/// format of /proc/self/mounts: device, mount point with octal escapes, type,
/// ...): the root "/" first, then the other mount points in sorted order,
/// each once. Pseudo and memory file systems (proc, sysfs, cgroup, tmpfs,
/// ...) and anything mounted under /proc, /sys or /dev are left out.
std::vector<std::string> ParseMountPoints(std::string_view mounts_text);

/// The drive list of this machine: ParseMountPoints over /proc/self/mounts,
/// keeping the mount points that are folders. When the table cannot be read
/// the list is just "/".
std::vector<std::string> ListDrives();

/// Index of the drive whose mount point contains `path` (the longest one
/// that is a whole-component prefix); 0 (the root) when none does.
std::size_t DriveIndexOfPath(const std::vector<std::string>& drives, const std::string& path);

// ---- Names typed in the name box and the spectra of a file ----------------

/// The folder and the name the chooser's OK hands to the loading.
struct ChosenName {
  std::string folder;
  std::string name;  ///< a file name, or an address: a file name and a selector ("x1d.fits[SCI][row 3]")
  bool operator==(const ChosenName&) const = default;
};

/// Where the name box's text points when the chooser shows `folder`. A name
/// without a separator is a name in `folder`, as it always was. A path,
/// relative to `folder` or absolute, with or without a selector
/// ("night2/star.fits", "/data/x1d.fits[SCI][row 2]"), becomes its own
/// folder and the name in it, so the loading stores the file's real folder.
/// A path that ends in a separator is handed on as typed (the loader then
/// says what is wrong with it).
ChosenName ResolveChosenName(const std::string& folder, const std::string& typed);

/// A name split into the file it opens and the selector after it: a name
/// that is a file in `folder` is that file, whatever it ends in; otherwise
/// a well-formed address is split ("x.fits[2]" gives "x.fits" and "[2]"),
/// and any other name is all file.
struct FileAndSelector {
  std::string file;
  std::string selector;
};
FileAndSelector SplitChosenName(const std::string& folder, const std::string& name);

/// The file whose spectra the chooser lists for a name in its name box:
/// SplitChosenName's file when it is a file; otherwise, for an address being
/// typed ("x1d.fits[SCI][row"), the longest part before a '[' that is a file
/// in `folder`, with the rest as its selector. Empty when neither is a file.
FileAndSelector ListedFileOfName(const std::string& folder, const std::string& name);

/// One line of the chooser's list of the spectra in a file.
struct SpectrumChoice {
  std::string selector;   ///< where it lies: the address after the file name, "[COADD]", "[SCI][row 3]"
  int64_t samples = 0;
  std::string range;      ///< "3800.0 – 6800.0" Angstroms, lowest first; the axis word when not a wavelength
  std::string flux_unit;  ///< as stored
  bool errors = false;    ///< the spectrum has an uncertainty per sample
};

/// Files above this size are not listed: listing reads every spectrum of the
/// file, and the chooser must answer a click at once. A compressed file is
/// inflated only up to this bound for the listing.
inline constexpr int64_t kChooserListBytes = int64_t{64} << 20;

/// The spectra of the file at `path` when it holds more than one; empty when
/// it holds one or none, cannot be opened or listed, or is larger than
/// kChooserListBytes. `file_name` is the name the addresses start with.
std::vector<SpectrumChoice> ListSpectrumChoices(const std::string& path, const std::string& file_name);

}  // namespace quillon
