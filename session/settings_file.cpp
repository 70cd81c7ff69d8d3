#include "session/settings_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "base/int_convert.h"

namespace quillon {

namespace {

namespace fs = std::filesystem;

// ---- The one table of fields --------------------------------------------

struct CommentField {};  // read and thrown away, always written as kComment

using FieldTarget = std::variant<std::string SharedState::*, int16_t SharedState::*, double SharedState::*, CommentField>;

struct SettingsField {
  int line;  ///< 1..8, the line the field is written on
  FieldTarget target;
  const char* text_default;  ///< for the text fields
  double number_default;     ///< for the numeric fields
};

constexpr const char* kComment = "Names for Lambda0 and dLambda/dp, resp.";

const std::array<SettingsField, 25>& Fields() {
  static const std::array<SettingsField, 25> fields = {{
      {1, &SharedState::KeywordLambda0, "CRVAL1", 0},
      {1, &SharedState::KeywordDispersion, "CD1_1", 0},
      {1, CommentField{}, kComment, 0},
      {2, &SharedState::MainLeft, nullptr, 200},
      {2, &SharedState::MainTop, nullptr, 200},
      {3, &SharedState::LoadLeft, nullptr, 500},
      {3, &SharedState::LoadTop, nullptr, 500},
      {4, &SharedState::HdrLeft, nullptr, 500},
      {4, &SharedState::HdrTop, nullptr, 500},
      {4, &SharedState::HdrWidth, nullptr, 3000},
      {4, &SharedState::HdrHeight, nullptr, 10000},
      {5, &SharedState::SpareLeft, nullptr, 500},
      {5, &SharedState::SpareTop, nullptr, 500},
      {5, &SharedState::SpareWidth, nullptr, 3000},
      {5, &SharedState::SpareHeight, nullptr, 10000},
      {6, &SharedState::PlotLeft, nullptr, 100},
      {6, &SharedState::PlotTop, nullptr, 2000},
      {6, &SharedState::PlotWidth, nullptr, 10000},
      {6, &SharedState::PlotHeight, nullptr, 5000},
      {7, &SharedState::HelpLeft, nullptr, 500},
      {7, &SharedState::HelpTop, nullptr, 500},
      {7, &SharedState::HelpWidth, nullptr, 10000},
      {7, &SharedState::HelpHeight, nullptr, 500},
      {8, &SharedState::AboutLeft, nullptr, 500},
      {8, &SharedState::AboutTop, nullptr, 500},
  }};
  return fields;
}

// The settings file is a few hundred bytes; a file whose 25 fields do not end
// within this many bytes is damaged (and reading stays bounded).
constexpr std::size_t kMaxSettingsBytes = 1 << 20;

// ---- Reading ------------------------------------------------------------

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Takes the fields of the file one after another. A comma or a line end (CR LF,
// a bare LF or a bare CR) ends a field; a field in double quotes is taken
// literally, commas included, but must close on its own line. Lines holding
// nothing but blanks are skipped, so a stray empty line in a hand-edited file
// does not shift every later field.
class FieldReader {
 public:
  FieldReader(std::string_view data, bool truncated) : data_(data), truncated_(truncated) {}

  /// The next field, or nothing when the file ends first or the field is damaged.
  std::optional<std::string> Next() {
    if (at_line_start_) SkipBlankLines();
    while (pos_ < data_.size() && IsBlank(data_[pos_])) ++pos_;
    if (pos_ >= data_.size()) return std::nullopt;

    std::string field;
    if (data_[pos_] == '"') {
      const std::size_t start = ++pos_;
      while (pos_ < data_.size() && data_[pos_] != '"' && !IsLineEnd(data_[pos_])) ++pos_;
      if (pos_ >= data_.size() || data_[pos_] != '"') return std::nullopt;  // the quote never closes
      field.assign(data_.substr(start, pos_ - start));
      ++pos_;
      // Whatever stands between the closing quote and the separator is ignored.
      while (pos_ < data_.size() && data_[pos_] != ',' && !IsLineEnd(data_[pos_])) ++pos_;
    } else {
      const std::size_t start = pos_;
      while (pos_ < data_.size() && data_[pos_] != ',' && !IsLineEnd(data_[pos_])) ++pos_;
      // A field cut by the read limit is not the field that the file holds.
      if (pos_ >= data_.size() && truncated_) return std::nullopt;
      std::size_t end = pos_;
      while (end > start && IsBlank(data_[end - 1])) --end;
      field.assign(data_.substr(start, end - start));
    }
    ConsumeSeparator();
    return field;
  }

 private:
  void SkipBlankLines() {
    for (;;) {
      std::size_t look = pos_;
      while (look < data_.size() && IsBlank(data_[look])) ++look;
      if (look >= data_.size() || !IsLineEnd(data_[look])) return;
      pos_ = look;
      ConsumeSeparator();
    }
  }

  void ConsumeSeparator() {
    if (pos_ >= data_.size()) return;
    if (data_[pos_] == ',') {
      ++pos_;
      at_line_start_ = false;
      return;
    }
    if (data_[pos_] == '\r' && pos_ + 1 < data_.size() && data_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    at_line_start_ = true;
  }

  std::string_view data_;
  bool truncated_;
  std::size_t pos_ = 0;
  bool at_line_start_ = true;
};

// A decimal number, the whole field: optional sign, digits with at most one
// point, optional exponent ("200", "-7", "512.5", ".5", "12.", "1E3").
// Anything else (words, hex, "inf", "nan", an empty field) is not a number.
std::optional<double> ParseNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  std::string number;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') number += '-';
    ++i;
  }
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    number += c;
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    number += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    bool exponent_digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      number += text[i];
      exponent_digits = true;
    }
    if (!exponent_digits) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;

  double value = 0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec != std::errc() || result.ptr != number.data() + number.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// The nearest int16, halves to even; a number that rounds outside the range
// does not fit (and fails the read) rather than being clamped.
std::optional<int16_t> ParseInt16(std::string_view text) {
  const std::optional<double> value = ParseNumber(text);
  if (!value) return std::nullopt;
  const double rounded = std::nearbyint(*value);
  if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
  return RoundToInt16(*value);
}

// The whole file, or at most kMaxSettingsBytes + 1 of it; nothing when it is
// not a regular file that can be read. O_NONBLOCK keeps a FIFO of that name
// from hanging the start-up; folders and devices are refused by the type test.
std::optional<std::string> ReadFileBytes(const fs::path& path, bool& truncated) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string bytes;
  std::array<char, 8192> chunk{};
  while (bytes.size() <= kMaxSettingsBytes) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.append(chunk.data(), static_cast<std::size_t>(got));
  }
  ::close(fd);
  truncated = bytes.size() > kMaxSettingsBytes;
  if (truncated) bytes.resize(kMaxSettingsBytes);
  return bytes;
}

// ---- Writing ------------------------------------------------------------

// Text fields are written between quotes. A quote or a line end inside a
// quoted field could never be read back, so those characters are left out;
// but a name that holds a quote yet no comma, line end or surrounding blank can
// only have come from an unquoted field, and is written back unquoted, exactly
// as it was read.
bool ReadsBackUnquoted(const std::string& text) {
  if (text.empty() || IsBlank(text.front()) || IsBlank(text.back()) || text.front() == '"') return false;
  for (char c : text) {
    if (c == ',' || IsLineEnd(c)) return false;
  }
  return true;
}

std::string TextField(const std::string& text) {
  if (text.find('"') != std::string::npos && ReadsBackUnquoted(text)) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c != '"' && !IsLineEnd(c)) quoted += c;
  }
  quoted += '"';
  return quoted;
}

// A number in plain decimal, no leading blank, "." before any fraction, and
// the shortest digits that read back as the same double ("500", "512.5").
// A non-finite value would make the next read fail, so it writes the default.
std::string PlainNumberText(double value, double fallback) {
  if (!std::isfinite(value)) value = fallback;
  if (value == 0) return "0";  // not "-0"
  std::array<char, 512> buffer{};  // fixed notation of any double fits
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
  if (result.ec != std::errc()) return std::to_string(value);
  return std::string(buffer.data(), result.ptr);
}

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// The name of a temporary file this writer makes beside "Quillon3.ini":
// "Quillon3.ini.<pid>.<n>.tmp". Gives the pid when `name` is one, else 0.
pid_t TemporaryFileOwner(std::string_view name, std::string_view base) {
  if (name.size() <= base.size() + 1 || name.substr(0, base.size()) != base || name[base.size()] != '.') return 0;
  name.remove_prefix(base.size() + 1);
  constexpr std::string_view kSuffix = ".tmp";
  if (name.size() <= kSuffix.size() || name.substr(name.size() - kSuffix.size()) != kSuffix) return 0;
  name.remove_suffix(kSuffix.size());
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return 0;
  // Decimal numbers as the writer prints them: digits only, no leading zero.
  const auto all_digits = [](std::string_view digits) {
    return digits.find_first_not_of("0123456789") == std::string_view::npos && (digits.size() == 1 || digits[0] != '0');
  };
  const std::string_view pid_text = name.substr(0, dot);
  if (!all_digits(pid_text) || !all_digits(name.substr(dot + 1)) || pid_text.size() > 9) return 0;
  pid_t pid = 0;
  std::from_chars(pid_text.data(), pid_text.data() + pid_text.size(), pid);
  return pid;
}

bool ProcessExists(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// Removes the temporary files that writers killed part-way left in `folder`:
// only names of the exact form above whose process no longer runs, only
// regular files of this user, looked at and removed through the folder's own
// handle without following any link.
void RemoveStaleTemporaryFiles(const fs::path& folder, const std::string& base) {
  const int dir_fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  if (dir_fd < 0) return;
  DIR* dir = ::fdopendir(dir_fd);
  if (dir == nullptr) {
    ::close(dir_fd);
    return;
  }
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t pid = TemporaryFileOwner(entry->d_name, base);
    if (pid <= 0 || pid == ::getpid() || ProcessExists(pid)) continue;
    struct stat info {};
    if (::fstatat(dir_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
    stale.emplace_back(entry->d_name);
  }
  for (const std::string& name : stale) (void)::unlinkat(dir_fd, name.c_str(), 0);
  ::closedir(dir);  // closes dir_fd too
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

}  // namespace

void ApplyDefaultSettings(SharedState& state) {
  for (const SettingsField& field : Fields()) {
    std::visit(
        [&](auto target) {
          using Target = decltype(target);
          if constexpr (std::is_same_v<Target, std::string SharedState::*>) {
            state.*target = field.text_default;
          } else if constexpr (std::is_same_v<Target, int16_t SharedState::*>) {
            state.*target = static_cast<int16_t>(field.number_default);
          } else if constexpr (std::is_same_v<Target, double SharedState::*>) {
            state.*target = field.number_default;
          }
        },
        field.target);
  }
}

bool ReadSettingsFile(SharedState& state, const fs::path& path) {
  bool truncated = false;
  const std::optional<std::string> bytes = ReadFileBytes(path, truncated);
  if (!bytes) {
    ApplyDefaultSettings(state);
    return false;
  }

  // Every field is checked before any is stored: a failure at the last field
  // restores the defaults of the first ones too.
  FieldReader reader(*bytes, truncated);
  std::array<std::string, 25> texts;
  std::array<double, 25> numbers{};
  bool ok = true;
  for (std::size_t i = 0; ok && i < Fields().size(); ++i) {
    std::optional<std::string> text = reader.Next();
    if (!text) {
      ok = false;
      break;
    }
    const FieldTarget& target = Fields()[i].target;
    if (std::holds_alternative<int16_t SharedState::*>(target)) {
      const std::optional<int16_t> value = ParseInt16(*text);
      ok = value.has_value();
      if (ok) numbers[i] = *value;
    } else if (std::holds_alternative<double SharedState::*>(target)) {
      const std::optional<double> value = ParseNumber(*text);
      ok = value.has_value();
      if (ok) numbers[i] = *value;
    }
    texts[i] = std::move(*text);
  }
  if (!ok) {
    ApplyDefaultSettings(state);
    return false;
  }

  for (std::size_t i = 0; i < Fields().size(); ++i) {
    std::visit(
        [&](auto target) {
          using Target = decltype(target);
          if constexpr (std::is_same_v<Target, std::string SharedState::*>) {
            state.*target = std::move(texts[i]);
          } else if constexpr (std::is_same_v<Target, int16_t SharedState::*>) {
            state.*target = static_cast<int16_t>(numbers[i]);
          } else if constexpr (std::is_same_v<Target, double SharedState::*>) {
            state.*target = numbers[i];
          }
        },
        Fields()[i].target);
  }
  return true;
}

std::string SettingsFileText(const SharedState& state) {
  std::string text;
  int line = 1;
  bool first_on_line = true;
  for (const SettingsField& field : Fields()) {
    if (field.line != line) {
      text += "\r\n";
      line = field.line;
      first_on_line = true;
    }
    if (!first_on_line) text += ',';
    first_on_line = false;
    std::visit(
        [&](auto target) {
          using Target = decltype(target);
          if constexpr (std::is_same_v<Target, std::string SharedState::*>) {
            text += TextField(state.*target);
          } else if constexpr (std::is_same_v<Target, int16_t SharedState::*>) {
            text += std::to_string(state.*target);
          } else if constexpr (std::is_same_v<Target, double SharedState::*>) {
            text += PlainNumberText(state.*target, field.number_default);
          } else {
            text += TextField(kComment);
          }
        },
        field.target);
  }
  text += "\r\n";
  return text;
}

std::string WriteSettingsFile(const SharedState& state, const fs::path& path) {
  const std::string content = SettingsFileText(state);

  // What stands at the name now decides only the new file's permissions and
  // whether it may be replaced: a regular file keeps its permissions, a
  // symbolic link is itself replaced (the file it points to is never opened,
  // whoever owns it), and anything else (a folder, a FIFO, a device) stays
  // and fails the write.
  struct stat old_info {};
  const bool exists = ::lstat(path.c_str(), &old_info) == 0;
  if (exists && S_ISDIR(old_info.st_mode)) return ErrnoText(EISDIR);
  if (exists && !S_ISREG(old_info.st_mode) && !S_ISLNK(old_info.st_mode)) return "Not a regular file";

  // A fresh temporary file beside the target: a rename within one folder
  // replaces the old entry in one step, so it is never seen half written.
  // O_EXCL and O_NOFOLLOW: a name planted in the folder is never written through.
  const fs::path folder = path.parent_path();
  const std::string base = path.filename().string();
  const std::string prefix = base + "." + std::to_string(::getpid()) + ".";
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder / (prefix + std::to_string(attempt) + ".tmp");
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno != EEXIST) return ErrnoText(errno);
  }
  if (fd < 0) return ErrnoText(EEXIST);

  if (exists && S_ISREG(old_info.st_mode)) (void)::fchmod(fd, old_info.st_mode & 07777);

  int error = 0;
  if (!WriteAll(fd, content) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  // rename() replaces a link itself, never the file it points to.
  if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return ErrnoText(error);
  }
  RemoveStaleTemporaryFiles(folder, base);
  return "";
}

std::string SettingsWriteFailureMessage(const fs::path& path, const std::string& reason) {
  std::error_code ec;
  fs::path shown = fs::absolute(path, ec);
  if (ec) shown = path;
  if (shown.is_relative()) {
    // The current folder was removed while the program ran, so it has no
    // name any more; the system still knows the one it had.
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/cwd", buffer.data(), buffer.size() - 1);
    if (length > 0) {
      std::string folder(buffer.data(), static_cast<std::size_t>(length));
      constexpr std::string_view kDeleted = " (deleted)";
      if (folder.size() > kDeleted.size() && folder.ends_with(kDeleted)) folder.resize(folder.size() - kDeleted.size());
      if (!folder.empty() && folder.front() == '/') shown = fs::path(folder) / path;
    }
  }
  return "The settings could not be saved to \"" + shown.lexically_normal().string() +
         "\": " + (reason.empty() ? std::string("unknown error") : reason) +
         ". Any earlier settings file there is left as it was.";
}

}  // namespace quillon
