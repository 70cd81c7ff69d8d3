#include "fits/sample_decoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/large_buffer.h"
#include "base/vector_clones.h"

namespace quillon {

namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

bool Unscaled(const SampleScaling& s) { return s.bscale == 1 && s.bzero == 0; }

// Each kernel reads big-endian words with a byte swap and has no branch in
// its loop, so that it runs in vector registers.

template <typename Word>
Word LoadBigEndian(const unsigned char* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (sizeof(Word) == 2) return __builtin_bswap16(word);
  if constexpr (sizeof(Word) == 4) return __builtin_bswap32(word);
  if constexpr (sizeof(Word) == 8) return __builtin_bswap64(word);
}

// Integers without BLANK: the stored value, or BZERO + BSCALE x stored.
// Inlined into each width's kernel below, and so built for each vector unit.
template <typename Stored, typename Word>
inline void DecodeIntegers(const unsigned char* p, int64_t count, bool unscaled, double zero, double scale,
                           double* dst) {
  if (unscaled) {
    for (int64_t i = 0; i < count; ++i) dst[i] = static_cast<Stored>(LoadBigEndian<Word>(p + sizeof(Word) * i));
  } else {
    for (int64_t i = 0; i < count; ++i)
      dst[i] = zero + scale * static_cast<double>(static_cast<Stored>(LoadBigEndian<Word>(p + sizeof(Word) * i)));
  }
}

QUILLON_VECTOR_CLONES
void DecodeInt16(const unsigned char* p, int64_t count, bool unscaled, double zero, double scale, double* dst) {
  DecodeIntegers<int16_t, uint16_t>(p, count, unscaled, zero, scale, dst);
}

QUILLON_VECTOR_CLONES
void DecodeInt32(const unsigned char* p, int64_t count, bool unscaled, double zero, double scale, double* dst) {
  DecodeIntegers<int32_t, uint32_t>(p, count, unscaled, zero, scale, dst);
}

// Integers with BLANK: a stored value equal to it is a missing sample.
template <typename Stored, typename Word>
int64_t DecodeIntegersWithBlank(const unsigned char* p, int64_t count, const SampleScaling& s, double* dst) {
  int64_t missing = 0;
  const int64_t blank = *s.blank;
  for (int64_t i = 0; i < count; ++i) {
    const Stored stored = static_cast<Stored>(LoadBigEndian<Word>(p + sizeof(Word) * i));
    const bool is_blank = static_cast<int64_t>(stored) == blank;
    dst[i] = is_blank ? kMissing : s.bzero + s.bscale * static_cast<double>(stored);
    missing += is_blank;
  }
  return missing;
}

// Floating point: exponent all ones is an infinity or a NaN, a masked
// pixel. Setting the quiet bit of such a word makes it a NaN (an infinity
// has a zero fraction), so every missing sample converts to a NaN; the
// count comes from the same test, done by carrying into the sign bit (in
// 32 bits, which the caller's pieces never overflow).
QUILLON_VECTOR_CLONES
int64_t DecodeFloat32(const unsigned char* p, int64_t count, bool unscaled, double zero, double scale, double* dst) {
  uint32_t missing = 0;
  for (int64_t i = 0; i < count; ++i) {
    uint32_t word = LoadBigEndian<uint32_t>(p + 4 * i);
    const uint32_t bad = ((word & 0x7F800000u) + 0x00800000u) >> 31;
    word |= bad << 22;
    const double stored = static_cast<double>(std::bit_cast<float>(word));
    dst[i] = unscaled ? stored : zero + scale * stored;
    missing += bad;
  }
  return missing;
}

QUILLON_VECTOR_CLONES
int64_t DecodeFloat64(const unsigned char* p, int64_t count, bool unscaled, double zero, double scale, double* dst) {
  uint64_t missing = 0;
  for (int64_t i = 0; i < count; ++i) {
    uint64_t word = LoadBigEndian<uint64_t>(p + 8 * i);
    const uint64_t bad = ((word & 0x7FF0000000000000ull) + 0x0010000000000000ull) >> 63;
    word |= bad << 51;
    const double stored = std::bit_cast<double>(word);
    dst[i] = unscaled ? stored : zero + scale * stored;
    missing += bad;
  }
  return static_cast<int64_t>(missing);
}

// Unsigned bytes and 64-bit integers, rare in spectra: plain loops.
template <typename Stored, typename Word>
int64_t DecodeWideOrByte(const unsigned char* p, int64_t count, const SampleScaling& s, double* dst) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  const bool unsigned64 = sizeof(Word) == 8 && s.bscale == 1 && s.bzero == kTwoTo63;
  int64_t missing = 0;
  for (int64_t i = 0; i < count; ++i) {
    Word word;
    if constexpr (sizeof(Word) == 1) {
      word = p[i];
    } else {
      word = LoadBigEndian<Word>(p + sizeof(Word) * i);
    }
    const auto stored = static_cast<Stored>(word);
    if (s.blank && static_cast<int64_t>(stored) == *s.blank) {
      dst[i] = kMissing;
      ++missing;
    } else if (unsigned64) {
      // Flipping the sign bit adds 2^63 exactly in 64-bit arithmetic.
      dst[i] = static_cast<double>(static_cast<uint64_t>(word) ^ (uint64_t{1} << 63));
    } else {
      dst[i] = Unscaled(s) ? static_cast<double>(stored) : s.bzero + s.bscale * static_cast<double>(stored);
    }
  }
  return missing;
}

}  // namespace

int SampleWidth(int64_t bitpix) {
  switch (bitpix) {
    case 8: return 1;
    case 64: return 8;
    default: return BytesPerSample(bitpix);
  }
}

int64_t DecodeAnySamplesInto(const unsigned char* bytes, int64_t count, int64_t bitpix, const SampleScaling& scaling,
                             double* dst) {
  if (bitpix == 8) return DecodeWideOrByte<uint8_t, uint8_t>(bytes, count, scaling, dst);
  if (bitpix == 64) return DecodeWideOrByte<int64_t, uint64_t>(bytes, count, scaling, dst);
  return DecodeSamplesInto(bytes, count, bitpix, scaling, dst);
}

int BytesPerSample(int64_t bitpix) {
  switch (bitpix) {
    case 16: return 2;
    case 32: return 4;
    case -32: return 4;
    case -64: return 8;
    default: return 0;
  }
}

int64_t DecodeSamples(const unsigned char* bytes, int64_t count, int64_t bitpix, const SampleScaling& scaling,
                      std::vector<double>& out) {
  ResizeLarge(out, static_cast<std::size_t>(count > 0 ? count : 0) + 1);
  out[0] = 0;
  return DecodeSamplesInto(bytes, count, bitpix, scaling, out.data() + 1);
}

int64_t DecodeSamplesInto(const unsigned char* bytes, int64_t count, int64_t bitpix, const SampleScaling& scaling,
                          double* dst) {
  const bool unscaled = Unscaled(scaling);
  const double zero = scaling.bzero;
  const double scale = scaling.bscale;
  switch (bitpix) {
    case 16:
      if (scaling.blank) return DecodeIntegersWithBlank<int16_t, uint16_t>(bytes, count, scaling, dst);
      DecodeInt16(bytes, count, unscaled, zero, scale, dst);
      return 0;
    case 32:
      if (scaling.blank) return DecodeIntegersWithBlank<int32_t, uint32_t>(bytes, count, scaling, dst);
      DecodeInt32(bytes, count, unscaled, zero, scale, dst);
      return 0;
    case -32: {
      constexpr int64_t kPiece = int64_t{1} << 30;
      int64_t missing = 0;
      for (int64_t first = 0; first < count; first += kPiece)
        missing +=
            DecodeFloat32(bytes + 4 * first, std::min(kPiece, count - first), unscaled, zero, scale, dst + first);
      return missing;
    }
    case -64:
      return DecodeFloat64(bytes, count, unscaled, zero, scale, dst);
    default:
      return 0;
  }
}

int64_t DecodeSamples(const unsigned char* bytes, int64_t count, int64_t bitpix, double bzero,
                      std::vector<double>& out) {
  return DecodeSamples(bytes, count, bitpix, SampleScaling{1, bzero, std::nullopt}, out);
}

double DecodeSampleLiteral(const unsigned char* b, int64_t bitpix, const SampleScaling& scaling) {
  double stored = 0;
  switch (bitpix) {
    case 16: {
      stored = 256.0 * b[0] + b[1];
      if (b[0] >= 128) stored -= 65536.0;
      break;
    }
    case 32: {
      stored = b[0] * 16777216.0 + b[1] * 65536.0 + b[2] * 256.0 + b[3];
      if (b[0] >= 128) stored -= 4294967296.0;
      break;
    }
    case -32: {
      const double sign = b[0] >= 128 ? -1.0 : 1.0;
      const int e = b[1] >= 128 ? 2 * (b[0] % 128) + 1 : 2 * (b[0] % 128);
      const double f = ((b[1] % 128) * 65536.0 + b[2] * 256.0 + b[3]) / 8388608.0;
      if (e == 255) return kMissing;
      stored = e > 0 ? sign * std::pow(2.0, e - 127) * (1.0 + f) : sign * std::pow(2.0, -126) * f;
      break;
    }
    case -64: {
      const double sign = b[0] >= 128 ? -1.0 : 1.0;
      const int e = 16 * (b[0] % 128) + b[1] / 16;
      double f = (b[1] % 16) / 16.0;
      for (int j = 3; j <= 8; ++j) f += b[j - 1] / (16.0 * std::pow(256.0, j - 2));
      if (e == 2047) return kMissing;
      stored = e > 0 ? sign * std::pow(2.0, e - 1023) * (1.0 + f) : sign * std::pow(2.0, -1022) * f;
      break;
    }
    default:
      return 0;
  }
  if (bitpix > 0 && scaling.blank && stored == static_cast<double>(*scaling.blank)) return kMissing;
  if (Unscaled(scaling)) return stored;
  return scaling.bzero + scaling.bscale * stored;
}

double DecodeSampleLiteral(const unsigned char* b, int64_t bitpix, double bzero) {
  return DecodeSampleLiteral(b, bitpix, SampleScaling{1, bzero, std::nullopt});
}

bool ReadSamplesByteByByte(const std::string& path, int64_t data_offset, int64_t count, int64_t bitpix,
                           const SampleScaling& scaling, std::vector<double>& out) {
  const int width = BytesPerSample(bitpix);
  out.assign(static_cast<std::size_t>(count > 0 ? count : 0) + 1, 0.0);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = true;
  unsigned char buffer[8] = {};
  for (int64_t i = 1; ok && i <= count && width > 0; ++i) {
    for (int k = 1; k <= width; ++k) {
      const off_t position = static_cast<off_t>(data_offset + (i - 1) * width + (k - 1));
      if (::pread(fd, &buffer[k - 1], 1, position) != 1) {
        ok = false;
        break;
      }
    }
    if (ok) out[static_cast<std::size_t>(i)] = DecodeSampleLiteral(buffer, bitpix, scaling);
  }
  ::close(fd);
  return ok;
}

bool ReadSamplesByteByByte(const std::string& path, int64_t data_offset, int64_t count, int64_t bitpix,
                           double bzero, std::vector<double>& out) {
  return ReadSamplesByteByByte(path, data_offset, count, bitpix, SampleScaling{1, bzero, std::nullopt}, out);
}

}  // namespace quillon
