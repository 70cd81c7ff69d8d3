#pragma once
// Where the FITS loader gets its bytes: a file opened for reading (the
// program) or a buffer in memory (tests and the fuzz target). Offsets and
// sizes are 64-bit, so nothing limits how far into a file the loader reads.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

/// Random-access, read-only bytes of known size.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  /// Total size in bytes.
  virtual int64_t Size() const = 0;
  /// Copies `length` bytes starting at `offset` into `out`. The range must lie
  /// inside 0..Size(). Returns false (and sets `error` to the system's reason)
  /// when the bytes cannot be read.
  [[nodiscard]] virtual bool Read(int64_t offset, int64_t length, unsigned char* out, std::string& error) = 0;
  /// Offset of the first byte equal to `value` at or after `from`, or Size()
  /// when there is none. Returns false (and sets `error`) on a read failure.
  [[nodiscard]] virtual bool Find(unsigned char value, int64_t from, int64_t& found, std::string& error);
};

/// Bytes held in memory; the caller keeps them alive while the source is used.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  int64_t Size() const override { return static_cast<int64_t>(size_); }
  bool Read(int64_t offset, int64_t length, unsigned char* out, std::string& error) override;
  bool Find(unsigned char value, int64_t from, int64_t& found, std::string& error) override;

 private:
  const unsigned char* data_;
  std::size_t size_;
};

/// A regular file opened for reading. The first 256 KiB are read once at
/// opening, so a typical spectrum costs one read; later ranges use pread.
class FileSource final : public ByteSource {
 public:
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  /// Opens `path`. On failure returns null and sets `reason` to a short
  /// lower-case phrase ("no such file or directory", "it is a folder",
  /// "it is empty", "it is not a regular file", ...).
  static std::unique_ptr<FileSource> Open(const std::string& path, std::string& reason);

  int64_t Size() const override { return size_; }
  bool Read(int64_t offset, int64_t length, unsigned char* out, std::string& error) override;
  /// Searches the bytes already held in memory first, the rest from the file.
  bool Find(unsigned char value, int64_t from, int64_t& found, std::string& error) override;

 private:
  FileSource(int fd, int64_t size) : fd_(fd), size_(size) {}
  bool ReadFromFile(int64_t offset, int64_t length, unsigned char* out, std::string& error);

  int fd_;
  int64_t size_;
  std::vector<unsigned char> prefix_;  ///< the first bytes of the file
};

}  // namespace quillon
