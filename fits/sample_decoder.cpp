#include "fits/sample_decoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "shell/large_buffer.h"

namespace quillon {

namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

bool Unscaled(const SampleScaling& s) { return s.bscale == 1 && s.bzero == 0; }

// Integer samples: the stored value, NaN for BLANK, then the scaling. The
// loop without a BLANK has no branch, so it vectorises.
template <typename Stored, typename Read>
int64_t DecodeIntegers(const unsigned char* p, int64_t count, int width, const SampleScaling& s, double* dst,
                       Read read) {
  int64_t missing = 0;
  const double scale = s.bscale;
  const double zero = s.bzero;
  if (s.blank) {
    const int64_t blank = *s.blank;
    for (int64_t i = 0; i < count; ++i, p += width) {
      const Stored stored = read(p);
      if (static_cast<int64_t>(stored) == blank) {
        dst[i] = kMissing;
        ++missing;
      } else {
        dst[i] = zero + scale * static_cast<double>(stored);
      }
    }
  } else if (Unscaled(s)) {
    for (int64_t i = 0; i < count; ++i, p += width) dst[i] = static_cast<double>(read(p));
  } else {
    for (int64_t i = 0; i < count; ++i, p += width) dst[i] = zero + scale * static_cast<double>(read(p));
  }
  return missing;
}

int16_t ReadInt16(const unsigned char* p) { return static_cast<int16_t>(static_cast<uint16_t>((p[0] << 8) | p[1])); }

int32_t ReadInt32(const unsigned char* p) {
  return static_cast<int32_t>((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]);
}

}  // namespace

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
  int64_t missing = 0;
  const unsigned char* p = bytes;
  const bool unscaled = Unscaled(scaling);
  switch (bitpix) {
    case 16:
      missing = DecodeIntegers<int16_t>(p, count, 2, scaling, dst, ReadInt16);
      break;
    case 32:
      missing = DecodeIntegers<int32_t>(p, count, 4, scaling, dst, ReadInt32);
      break;
    case -32:
      for (int64_t i = 0; i < count; ++i, p += 4) {
        const uint32_t word = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
        if ((word & 0x7F800000u) != 0x7F800000u) {
          const double stored = static_cast<double>(std::bit_cast<float>(word));
          dst[i] = unscaled ? stored : scaling.bzero + scaling.bscale * stored;
        } else {
          // Exponent 255: an infinity or NaN, a masked pixel.
          dst[i] = kMissing;
          ++missing;
        }
      }
      break;
    case -64:
      for (int64_t i = 0; i < count; ++i, p += 8) {
        uint64_t word = 0;
        for (int k = 0; k < 8; ++k) word = (word << 8) | p[k];
        if ((word & 0x7FF0000000000000ull) != 0x7FF0000000000000ull) {
          const double stored = std::bit_cast<double>(word);
          dst[i] = unscaled ? stored : scaling.bzero + scaling.bscale * stored;
        } else {
          dst[i] = kMissing;
          ++missing;
        }
      }
      break;
    default:
      break;
  }
  return missing;
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
