#include "session/chooser_logic.h"

#include <algorithm>
#include <limits>
#include <cstdio>
#include <memory>
#include <optional>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "fits/gzip_source.h"
#include "spectrum/spectrum_layouts.h"

namespace quillon {

namespace fs = std::filesystem;

// ---- Size rules -------------------------------------------------------------

namespace {
// A NaN or infinite size can only come from a broken caller; lay it out as
// the minimum rather than hand non-finite geometry to the window.
double AtLeast(double value, double minimum) {
  if (!std::isfinite(value) || value < minimum) return minimum;
  return value;
}
}  // namespace

ChooserSize SnapChooserSize(double width, double height) {
  return ChooserSize{AtLeast(width, kChooserMinWidth), AtLeast(height, kChooserMinHeight)};
}

ChooserLayout ComputeChooserLayout(double width, double height) {
  const double W = AtLeast(width, kChooserMinWidth);
  const double H = AtLeast(height, kChooserMinHeight);
  ChooserLayout layout;
  // Left column, vertically: the file list takes the height, the type list follows it.
  layout.file_list_height = H - 2100;
  layout.type_label_top = layout.file_list_height + 990;
  layout.type_list_top = layout.file_list_height + 1230;
  // Right column, vertically: the folder list takes the height, the drive list follows it.
  layout.folder_list_height = H - 1890;
  layout.drive_label_top = layout.folder_list_height + 780;
  layout.drive_list_top = layout.folder_list_height + 1020;
  // Widths: whatever lies beyond 7830 twips is shared equally by the two columns.
  const double w = (W - 7830) / 2;
  layout.left_column_width = w + 3015;
  layout.right_column_width = w + 2655;
  layout.right_column_left = layout.left_column_width + 345;
  layout.button_left = layout.right_column_width + layout.left_column_width + 570;
  return layout;
}

ChooserBand ComputeChooserBand(const ChooserLayout& layout) {
  // Under the file-type list (which ends 555 twips above the rules' height),
  // ending as far above the window's bottom edge as that list did.
  ChooserBand band;
  const double rules_bottom = layout.type_list_top + 315;
  band.label_top = rules_bottom + 105;
  band.list_top = band.label_top + 270;
  band.list_width = layout.button_left + 1335 - 120;
  band.list_height = rules_bottom + kChooserSpectraBand - band.list_top;
  return band;
}

// ---- Patterns and sorting ---------------------------------------------------

namespace {
char Lower(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<char>(u - 'A' + 'a') : c;
}
}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*.*") return true;  // as file dialogs have it: every file, dotted or not
  // Greedy matching with a single backtrack point: the last '*' seen.
  std::size_t n = 0, p = 0;
  std::size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool MatchesFileType(std::string_view name, std::string_view pattern) {
  if (MatchesPattern(name, pattern)) return true;
  if (pattern == "*.*" || MatchesPattern(pattern, "*.gz") || name.size() <= 3 ||
      !MatchesPattern(name.substr(name.size() - 3), ".gz")) {
    return false;
  }
  return MatchesPattern(name.substr(0, name.size() - 3), pattern);
}

void SortAsFileList(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const bool a_first = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                      [](char x, char y) { return Lower(x) < Lower(y); });
    const bool b_first = std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                                      [](char x, char y) { return Lower(x) < Lower(y); });
    if (a_first != b_first) return a_first;
    return a < b;
  });
}

// ---- Folder contents --------------------------------------------------------

namespace {

std::string CannotRead(const std::string& folder, const std::string& reason) {
  return "The folder \"" + folder + "\" cannot be read: " + reason + ".";
}

enum class EntryKind { kFile, kFolder };

FolderNames ReadFolder(const std::string& folder, EntryKind kind, const std::string& pattern) {
  FolderNames result;
  if (folder.empty()) {
    result.error = CannotRead(folder, "no folder was given");
    return result;
  }
  std::error_code ec;
  const fs::file_status status = fs::status(folder, ec);
  if (ec) {
    result.error = CannotRead(folder, ec.message());
    return result;
  }
  if (!fs::is_directory(status)) {
    result.error = CannotRead(folder, "it is not a folder");
    return result;
  }
  fs::directory_iterator it(folder, ec);
  if (ec) {
    result.error = CannotRead(folder, ec.message());
    return result;
  }
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;  // hidden, as file lists usually have it
    std::error_code entry_ec;  // a broken link or an entry that vanished is simply not listed
    if (kind == EntryKind::kFolder) {
      if (!it->is_directory(entry_ec)) continue;
    } else {
      if (!it->is_regular_file(entry_ec) || !MatchesFileType(name, pattern)) continue;
    }
    result.names.push_back(std::move(name));
  }
  if (ec) {
    result.names.clear();
    result.error = CannotRead(folder, ec.message());
    return result;
  }
  SortAsFileList(result.names);
  return result;
}

}  // namespace

FolderNames ListMatchingFiles(const std::string& folder, const std::string& pattern) {
  return ReadFolder(folder, EntryKind::kFile, pattern);
}

FolderNames ListSubfolders(const std::string& folder) { return ReadFolder(folder, EntryKind::kFolder, {}); }

std::string NormalizeFolderPath(const std::string& path) {
  if (path.empty()) return {};
  fs::path p(path);
  if (p.is_relative()) {
    std::error_code ec;
    p = fs::absolute(p, ec);
    if (ec) return {};
  }
  std::string text = p.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

FolderList BuildFolderList(const std::string& path) {
  FolderList list;
  list.path = NormalizeFolderPath(path);
  if (list.path.empty()) {
    list.error = CannotRead(path, "the path cannot be resolved");
    return list;
  }
  FolderNames subfolders = ListSubfolders(list.path);
  if (!subfolders.ok()) {
    list.error = std::move(subfolders.error);
    return list;
  }
  // Ancestors from the root down to the path itself.
  std::string so_far;
  int depth = 0;
  for (const fs::path& part : fs::path(list.path)) {
    const std::string name = part.string();
    if (name.empty()) continue;
    if (so_far.empty()) {
      so_far = name;  // the root, "/"
    } else {
      so_far += (so_far.back() == '/' ? "" : "/") + name;
    }
    list.entries.push_back(FolderEntry{name, so_far, depth++, true});
  }
  list.current = list.entries.empty() ? 0 : list.entries.size() - 1;
  const std::string prefix = list.path == "/" ? "/" : list.path + "/";
  for (const std::string& name : subfolders.names) {
    list.entries.push_back(FolderEntry{name, prefix + name, depth, false});
  }
  return list;
}

// ---- Drives -----------------------------------------------------------------

namespace {

// Mount-table fields escape blanks, tabs, newlines and backslashes as \ooo.
std::string UnescapeMountField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string_view digits = field.substr(i + 1, 3);
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out.push_back(static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

bool IsPseudoFileSystem(std::string_view type) {
  static constexpr std::array<std::string_view, 26> kPseudo = {
      "proc",      "sysfs",      "cgroup",    "cgroup2",   "devpts",          "devtmpfs",   "tmpfs",
      "ramfs",     "mqueue",     "debugfs",   "tracefs",   "securityfs",      "pstore",     "bpf",
      "configfs",  "fusectl",    "hugetlbfs", "autofs",    "binfmt_misc",     "efivarfs",   "rpc_pipefs",
      "nsfs",      "selinuxfs",  "squashfs",  "fuse.portal", "fuse.gvfsd-fuse"};
  return std::find(kPseudo.begin(), kPseudo.end(), type) != kPseudo.end();
}

bool IsUnder(std::string_view path, std::string_view folder) {
  if (folder == "/") return !path.empty() && path.front() == '/';
  return path == folder || (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
                            path[folder.size()] == '/');
}

}  // namespace

std::vector<std::string> ParseMountPoints(std::string_view mounts_text) {
  std::vector<std::string> points;
  std::istringstream lines{std::string(mounts_text)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, mount_point, type;
    if (!(fields >> device >> mount_point >> type)) continue;
    std::string point = UnescapeMountField(mount_point);
    if (point.empty() || point.front() != '/' || IsPseudoFileSystem(type)) continue;
    if (IsUnder(point, "/proc") || IsUnder(point, "/sys") || IsUnder(point, "/dev")) continue;
    while (point.size() > 1 && point.back() == '/') point.pop_back();
    if (point != "/") points.push_back(std::move(point));
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  points.insert(points.begin(), "/");
  return points;
}

std::vector<std::string> ListDrives() {
  std::ifstream in("/proc/self/mounts");
  if (!in) return {"/"};
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> drives = ParseMountPoints(text);
  // Bind-mounted files (common in containers) are no drives.
  std::erase_if(drives, [](const std::string& point) {
    std::error_code ec;
    return point != "/" && !fs::is_directory(point, ec);
  });
  return drives;
}

std::size_t DriveIndexOfPath(const std::vector<std::string>& drives, const std::string& path) {
  std::size_t best = 0, best_length = 0;
  for (std::size_t i = 0; i < drives.size(); ++i) {
    if (IsUnder(path, drives[i]) && drives[i].size() > best_length) {
      best = i;
      best_length = drives[i].size();
    }
  }
  return best;
}

// ---- Typed names and the spectra of a file -----------------------------------

namespace {

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

fs::path InFolder(const std::string& folder, const std::string& file) {
  const fs::path p(file);
  return p.is_absolute() ? p : fs::path(folder) / p;
}

}  // namespace

FileAndSelector SplitChosenName(const std::string& folder, const std::string& name) {
  if (!name.empty() && !IsFile(InFolder(folder, name))) {
    if (const std::optional<SpectrumAddress> address = ParseSpectrumAddress(name);
        address && !address->file.empty() && name.compare(0, address->file.size(), address->file) == 0) {
      return {address->file, name.substr(address->file.size())};
    }
  }
  return {name, {}};
}

FileAndSelector ListedFileOfName(const std::string& folder, const std::string& name) {
  FileAndSelector parts = SplitChosenName(folder, name);
  if (!parts.file.empty() && IsFile(InFolder(folder, parts.file))) return parts;
  for (std::size_t at = name.rfind('['); at != std::string::npos && at > 0; at = name.rfind('[', at - 1)) {
    if (IsFile(InFolder(folder, name.substr(0, at)))) return {name.substr(0, at), name.substr(at)};
  }
  return {};
}

ChosenName ResolveChosenName(const std::string& folder, const std::string& typed) {
  const FileAndSelector parts = SplitChosenName(folder, typed);
  if (parts.file.find('/') == std::string::npos) return {folder, typed};
  const fs::path full = InFolder(folder, parts.file).lexically_normal();
  if (!full.has_filename()) return {folder, typed};
  std::string parent = full.parent_path().string();
  if (parent.empty()) parent = folder;
  return {parent, full.filename().string() + parts.selector};
}

namespace {

std::string RangeText(const SpectrumListEntry& entry) {
  if (entry.axis != SpectralAxis::kWavelength) return SpectralAxisWord(entry.axis);
  if (!std::isfinite(entry.wave_first) || !std::isfinite(entry.wave_last)) return {};
  const double low = std::min(entry.wave_first, entry.wave_last);
  const double high = std::max(entry.wave_first, entry.wave_last);
  char text[80];
  std::snprintf(text, sizeof text, "%.1f \u2013 %.1f", low, high);
  return text;
}

}  // namespace

std::vector<SpectrumChoice> ListSpectrumChoices(const std::string& path, const std::string& file_name) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size > static_cast<std::uintmax_t>(kChooserListBytes)) return {};
  std::string reason;
  const std::unique_ptr<ByteSource> source = OpenFitsBytes(path, reason, kChooserListBytes);
  if (!source) return {};
  const SpectrumList list = ListSpectra(*source, file_name);
  if (list.spectra.size() < 2) return {};
  std::vector<SpectrumChoice> choices;
  choices.reserve(list.spectra.size());
  for (const SpectrumListEntry& entry : list.spectra) {
    SpectrumChoice choice;
    choice.selector = entry.address.compare(0, file_name.size(), file_name) == 0
                          ? entry.address.substr(file_name.size())
                          : entry.address;
    choice.samples = entry.n;
    choice.range = RangeText(entry);
    choice.flux_unit = entry.flux_unit;
    choice.errors = entry.uncertainty;
    choices.push_back(std::move(choice));
  }
  // Then each HDU of several spectra whole, in one row (an echelle's orders).
  std::vector<std::string> wholes;
  for (const SpectrumListEntry& entry : list.spectra) {
    if (!entry.whole_address.empty() &&
        std::find(wholes.begin(), wholes.end(), entry.whole_address) == wholes.end())
      wholes.push_back(entry.whole_address);
  }
  for (const std::string& whole : wholes) {
    SpectrumChoice choice;
    choice.selector = whole.compare(0, file_name.size(), file_name) == 0 ? whole.substr(file_name.size()) : whole;
    SpectrumListEntry span;
    span.wave_first = std::numeric_limits<double>::infinity();
    span.wave_last = -std::numeric_limits<double>::infinity();
    choice.errors = true;
    for (const SpectrumListEntry& entry : list.spectra) {
      if (entry.whole_address != whole) continue;
      choice.samples += entry.n;
      span.axis = entry.axis;
      span.wave_first = std::min({span.wave_first, entry.wave_first, entry.wave_last});
      span.wave_last = std::max({span.wave_last, entry.wave_first, entry.wave_last});
      choice.flux_unit = entry.flux_unit;
      choice.errors = choice.errors && entry.uncertainty;
    }
    choice.range = RangeText(span);
    choices.push_back(std::move(choice));
  }
  return choices;
}

}  // namespace quillon
