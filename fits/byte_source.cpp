#include "fits/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace quillon {

namespace {

constexpr int64_t kPrefixBytes = 256 * 1024;
constexpr int64_t kFindChunk = 64 * 1024;

std::string ReasonFromErrno(int code) {
  std::string text = std::strerror(code);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

bool ByteSource::Find(unsigned char value, int64_t from, int64_t& found, std::string& error) {
  std::vector<unsigned char> chunk;
  if (from < Size()) chunk.resize(static_cast<std::size_t>(std::min(kFindChunk, Size() - from)));
  for (int64_t pos = from; pos < Size(); pos += kFindChunk) {
    const int64_t length = std::min(kFindChunk, Size() - pos);
    if (!Read(pos, length, chunk.data(), error)) return false;
    const void* hit = std::memchr(chunk.data(), value, static_cast<std::size_t>(length));
    if (hit != nullptr) {
      found = pos + (static_cast<const unsigned char*>(hit) - chunk.data());
      return true;
    }
  }
  found = Size();
  return true;
}

bool MemorySource::Read(int64_t offset, int64_t length, unsigned char* out, std::string& error) {
  if (offset < 0 || length < 0 || offset > Size() || length > Size() - offset) {
    error = "read outside the data";
    return false;
  }
  if (length > 0) std::memcpy(out, data_ + offset, static_cast<std::size_t>(length));
  return true;
}

bool MemorySource::Find(unsigned char value, int64_t from, int64_t& found, std::string&) {
  found = Size();
  if (from >= Size()) return true;
  const void* hit = std::memchr(data_ + from, value, size_ - static_cast<std::size_t>(from));
  if (hit != nullptr) found = static_cast<const unsigned char*>(hit) - data_;
  return true;
}

FileSource::~FileSource() { ::close(fd_); }

std::unique_ptr<FileSource> FileSource::Open(const std::string& path, std::string& reason) {
  // O_NONBLOCK: opening a named pipe must not wait for a writer; anything
  // but a regular file is refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    reason = ReasonFromErrno(errno);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    reason = ReasonFromErrno(errno);
    ::close(fd);
    return nullptr;
  }
  if (S_ISDIR(info.st_mode)) {
    reason = "it is a folder, not a file";
  } else if (!S_ISREG(info.st_mode)) {
    reason = "it is not a regular file";
  } else if (info.st_size == 0) {
    reason = "it is empty (0 bytes)";
  } else {
    std::unique_ptr<FileSource> source(new FileSource(fd, static_cast<int64_t>(info.st_size)));
    const int64_t prefix = std::min(kPrefixBytes, source->size_);
    source->prefix_.resize(static_cast<std::size_t>(prefix));
    std::string error;
    if (!source->ReadFromFile(0, prefix, source->prefix_.data(), error)) {
      reason = error;
      return nullptr;  // closes fd
    }
    return source;
  }
  ::close(fd);
  return nullptr;
}

bool FileSource::Read(int64_t offset, int64_t length, unsigned char* out, std::string& error) {
  if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset) {
    error = "read outside the file";
    return false;
  }
  const auto cached = static_cast<int64_t>(prefix_.size());
  if (offset + length <= cached) {
    if (length > 0) std::memcpy(out, prefix_.data() + offset, static_cast<std::size_t>(length));
    return true;
  }
  return ReadFromFile(offset, length, out, error);
}

bool FileSource::Find(unsigned char value, int64_t from, int64_t& found, std::string& error) {
  const auto cached = static_cast<int64_t>(prefix_.size());
  if (from >= 0 && from < cached) {
    const void* hit = std::memchr(prefix_.data() + from, value, static_cast<std::size_t>(cached - from));
    if (hit != nullptr) {
      found = static_cast<const unsigned char*>(hit) - prefix_.data();
      return true;
    }
    from = cached;
  }
  return ByteSource::Find(value, from, found, error);
}

bool FileSource::ReadFromFile(int64_t offset, int64_t length, unsigned char* out, std::string& error) {
  while (length > 0) {
    const ssize_t got = ::pread(fd_, out, static_cast<std::size_t>(std::min<int64_t>(length, 1 << 30)),
                                static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      error = ReasonFromErrno(errno);
      return false;
    }
    if (got == 0) {
      // The file became shorter after it was opened.
      error = "the file ended unexpectedly";
      return false;
    }
    out += got;
    offset += got;
    length -= got;
  }
  return true;
}

}  // namespace quillon
