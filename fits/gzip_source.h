#pragma once
// gzip-compressed FITS files (.fits.gz): the file is inflated into memory
// once, when it is opened, and read from there like any other ByteSource.
//
// The inflated bytes are bounded (kMaxInflatedBytes by default): a file that
// would inflate past the bound is refused as soon as its output passes it,
// with the memory taken never more than the bound (a gzip bomb costs at most
// that). Several gzip members one after another (as `cat a.gz b.gz` makes)
// inflate to their contents one after another; zero bytes after the last
// member are ignored; anything else after it, a corrupt member or one cut
// short, refuses the file.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fits/byte_source.h"

namespace quillon {

class GzipSource final : public ByteSource {
 public:
  /// The most bytes a compressed file may inflate to: 2 GiB, twice the
  /// largest spectrum files archives hand out, and what a 32-bit count of
  /// bytes (the gzip trailer's) can describe.
  static constexpr int64_t kMaxInflatedBytes = int64_t{2} << 30;

  /// Whether `source` begins with the gzip signature (bytes 1F 8B).
  static bool IsGzip(ByteSource& source);

  /// Inflates the whole of `compressed`. On failure returns null and sets
  /// `reason` to a short lower-case phrase ("its compressed data is corrupt
  /// (invalid block type)", "its compressed data ends early", "it would
  /// inflate to more than 2147483648 bytes, ...").
  static std::unique_ptr<GzipSource> Inflate(ByteSource& compressed, std::string& reason,
                                             int64_t max_bytes = kMaxInflatedBytes);

  int64_t Size() const override { return size_; }
  bool Read(int64_t offset, int64_t length, unsigned char* out, std::string& error) override;

 private:
  struct Chunk {
    std::unique_ptr<unsigned char[]> data;
    int64_t start = 0;     ///< offset of data[0] in the inflated bytes
    int64_t capacity = 0;
  };
  GzipSource() = default;
  std::vector<Chunk> chunks_;  ///< the inflated bytes, in growing chunks (never copied to grow)
  int64_t size_ = 0;
};

/// Opens `path` for reading: a gzip-compressed file (by its signature, not its
/// name) inflated into memory, any other as a FileSource. On failure returns
/// null and sets `reason` as FileSource::Open and GzipSource::Inflate do.
std::unique_ptr<ByteSource> OpenFitsBytes(const std::string& path, std::string& reason,
                                          int64_t max_inflated = GzipSource::kMaxInflatedBytes);

}  // namespace quillon
