#include "session/export_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace quillon {

namespace fs = std::filesystem;

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::optional<ExportFormat> ExportFormatForPath(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return std::nullopt;  // ".png" alone is a hidden name
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = LowerAscii(c);
  if (extension == "png") return ExportFormat::kPng;
  if (extension == "svg") return ExportFormat::kSvg;
  if (extension == "pdf") return ExportFormat::kPdf;
  return std::nullopt;
}

std::string ProposedFilePath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char separator = static_cast<char>(fs::path::preferred_separator);
  if (folder.back() == separator) return folder + name;
  return folder + separator + name;
}

std::string ExportFormatMessage(const std::string& path) {
  return "The plot cannot be exported to " + Quoted(path) +
         ": the file name must end in .png, .svg or .pdf, which chooses the format (PNG image, SVG drawing or "
         "PDF document). Nothing was written.";
}

std::string ExportFailureMessage(const std::string& path, const std::string& reason) {
  return "The plot could not be exported to " + Quoted(path) + ": " +
         (reason.empty() ? std::string("unknown error") : reason) + ". Nothing was written.";
}

PrintFailure PrintFailureForErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return PrintFailure::kFolderMissing;
    case EACCES:
    case EPERM:
    case EROFS: return PrintFailure::kPermissionDenied;
    default: return PrintFailure::kFileAccess;
  }
}

ReplacingFile::~ReplacingFile() { Discard(); }

int ReplacingFile::Create(const std::string& target) {
  Discard();
  if (target.empty()) return ENOENT;
  const fs::path path(target);
  if (!path.has_filename()) return EISDIR;

  // An existing file that may not be written stays as it is, as it would if
  // it were opened for writing; a link is not asked (it is replaced).
  struct stat old_info {};
  const bool exists = ::lstat(target.c_str(), &old_info) == 0;
  if (exists && S_ISDIR(old_info.st_mode)) return EISDIR;  // a rename could not replace it
  const bool replaces_file = exists && S_ISREG(old_info.st_mode);
  if (replaces_file && ::access(target.c_str(), W_OK) != 0) return errno;

  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  fd_ = fd;
  temp_ = pattern;
  target_ = target;

  // mkostemp makes the file 0600; the new file gets the mode a newly created
  // one would have, or that of the file it replaces.
  mode_t mode = 0666;
  if (replaces_file) {
    mode = old_info.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  (void)::fchmod(fd_, mode);
  return 0;
}

int ReplacingFile::Commit() {
  if (fd_ < 0) return EBADF;
  int error = 0;
  if (::fsync(fd_) != 0) error = errno;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp_.c_str());
  }
  temp_.clear();
  target_.clear();
  return error;
}

void ReplacingFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  target_.clear();
}

}  // namespace quillon
