#include "fits/gzip_source.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace quillon {

namespace {

// Compressed bytes read at a time.
constexpr int64_t kInputPiece = int64_t{1} << 18;
// Output chunks start at the size the last member's trailer gives (within
// these bounds) and double up to the largest.
constexpr int64_t kSmallestChunk = int64_t{1} << 16;
constexpr int64_t kLargestChunk = int64_t{64} << 20;

class Inflater {
 public:
  Inflater() { ok_ = inflateInit2(&z_, 15 + 16) == Z_OK; }  // 15: the largest window; +16: gzip only
  ~Inflater() {
    if (ok_) inflateEnd(&z_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool ok() const { return ok_; }
  z_stream& z() { return z_; }

 private:
  z_stream z_{};
  bool ok_ = false;
};

}  // namespace

bool GzipSource::IsGzip(ByteSource& source) {
  unsigned char magic[2];
  std::string error;
  return source.Size() >= 2 && source.Read(0, 2, magic, error) && magic[0] == 0x1F && magic[1] == 0x8B;
}

std::unique_ptr<GzipSource> GzipSource::Inflate(ByteSource& compressed, std::string& reason, int64_t max_bytes) {
  std::unique_ptr<GzipSource> out(new GzipSource());
  Inflater inflater;
  if (!inflater.ok()) {
    reason = "there is not enough memory to inflate it";
    return nullptr;
  }
  z_stream& z = inflater.z();
  const std::string too_large =
      "it would inflate to more than " + std::to_string(max_bytes) + " bytes, the most that is read of a compressed file";
  const int64_t csize = compressed.Size();
  std::vector<unsigned char> input(static_cast<std::size_t>(std::min(kInputPiece, csize)));
  int64_t read = 0;      // compressed bytes read so far
  int64_t capacity = 0;  // inflated bytes the chunks can hold
  // The trailer of the last member gives its size modulo 2^32: the first
  // chunk's size, a hint only.
  int64_t next_chunk = kSmallestChunk;
  unsigned char trailer[4];
  std::string ignored;
  if (csize >= 18 && compressed.Read(csize - 4, 4, trailer, ignored)) {
    const int64_t hint = trailer[0] | trailer[1] << 8 | trailer[2] << 16 | int64_t{trailer[3]} << 24;
    next_chunk = std::clamp(hint, kSmallestChunk, kLargestChunk);
  }
  // Makes the unread compressed bytes available to zlib.
  auto refill = [&]() -> bool {
    if (z.avail_in > 0 || read >= csize) return true;
    const int64_t n = std::min(kInputPiece, csize - read);
    if (!compressed.Read(read, n, input.data(), reason)) return false;
    read += n;
    z.next_in = input.data();
    z.avail_in = static_cast<uInt>(n);
    return true;
  };
  try {
    while (true) {
      if (!refill()) return nullptr;
      if (z.avail_out == 0) {
        if (capacity > max_bytes) {
          reason = too_large;
          return nullptr;
        }
        // One byte beyond the bound tells a file that inflates past it.
        Chunk chunk;
        chunk.capacity = std::min(next_chunk, max_bytes + 1 - capacity);
        chunk.data.reset(new unsigned char[static_cast<std::size_t>(chunk.capacity)]);
        chunk.start = capacity;
        capacity += chunk.capacity;
        next_chunk = std::min(2 * next_chunk, kLargestChunk);
        out->chunks_.push_back(std::move(chunk));
        z.next_out = out->chunks_.back().data.get();
        z.avail_out = static_cast<uInt>(out->chunks_.back().capacity);  // at most kLargestChunk
      }
      const int ret = inflate(&z, Z_NO_FLUSH);
      const Chunk& last = out->chunks_.back();
      out->size_ = last.start + (z.next_out - last.data.get());
      if (ret == Z_OK) continue;
      if (ret == Z_BUF_ERROR && (z.avail_in > 0 || read < csize || z.avail_out == 0)) continue;
      if (ret == Z_BUF_ERROR) {
        reason = "its compressed data ends early";
        return nullptr;
      }
      if (ret != Z_STREAM_END) {
        reason = ret == Z_MEM_ERROR ? "there is not enough memory to inflate it"
                                    : std::string("its compressed data is corrupt (") +
                                          (z.msg != nullptr ? z.msg : "not gzip data") + ")";
        return nullptr;
      }
      // A member ended: another may follow; zero bytes may pad the file.
      if (!refill()) return nullptr;
      if (z.avail_in == 0) break;
      if (z.next_in[0] == 0x1F) {
        if (inflateReset(&z) != Z_OK) {
          reason = "there is not enough memory to inflate it";
          return nullptr;
        }
        continue;  // zlib checks the rest of the next member's header
      }
      while (z.avail_in > 0) {
        if (std::any_of(z.next_in, z.next_in + z.avail_in, [](unsigned char b) { return b != 0; })) {
          reason = "it has bytes after its compressed data that are not gzip data";
          return nullptr;
        }
        z.avail_in = 0;
        if (!refill()) return nullptr;
      }
      break;
    }
  } catch (const std::bad_alloc&) {
    reason = "there is not enough memory to inflate it";
    return nullptr;
  }
  if (out->size_ > max_bytes) {  // the last chunk's byte beyond the bound was filled
    reason = too_large;
    return nullptr;
  }
  return out;
}
bool GzipSource::Read(int64_t offset, int64_t length, unsigned char* out, std::string& error) {
  if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset) {
    error = "read outside the data";
    return false;
  }
  if (length == 0) return true;
  // From the chunk holding `offset`: the last that starts at or before it.
  auto chunk = std::upper_bound(chunks_.begin(), chunks_.end(), offset,
                                [](int64_t value, const Chunk& c) { return value < c.start; });
  for (--chunk; length > 0; ++chunk) {
    const int64_t within = offset - chunk->start;
    const int64_t n = std::min(length, chunk->capacity - within);
    std::memcpy(out, chunk->data.get() + within, static_cast<std::size_t>(n));
    out += n;
    offset += n;
    length -= n;
  }
  return true;
}

std::unique_ptr<ByteSource> OpenFitsBytes(const std::string& path, std::string& reason, int64_t max_inflated) {
  std::unique_ptr<FileSource> file = FileSource::Open(path, reason);
  if (!file || !GzipSource::IsGzip(*file)) return file;
  return GzipSource::Inflate(*file, reason, max_inflated);
}

}  // namespace quillon
