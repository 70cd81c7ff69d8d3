// As it was before FITS physical values and wavelength scales, kept in
// quillon::before for the side-by-side benchmarks.
#include "bench/before/sample_decoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstring>

namespace quillon::before {

namespace {

bool UnsignedSixteen(double bzero) { return std::fabs(bzero) < 0.00001; }

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

int64_t DecodeSamples(const unsigned char* bytes, int64_t count, int64_t bitpix, double bzero,
                      std::vector<double>& out) {
  int64_t first_infinite = 0;
  out.assign(static_cast<std::size_t>(count) + 1, 0.0);
  double* dst = out.data() + 1;
  const unsigned char* p = bytes;
  switch (bitpix) {
    case 16:
      if (UnsignedSixteen(bzero)) {
        for (int64_t i = 0; i < count; ++i, p += 2) dst[i] = static_cast<double>((p[0] << 8) | p[1]);
      } else {
        // The stored signed sample plus 32768 is the pattern with its top bit flipped.
        for (int64_t i = 0; i < count; ++i, p += 2) dst[i] = static_cast<double>(((p[0] ^ 0x80) << 8) | p[1]);
      }
      break;
    case 32:
      for (int64_t i = 0; i < count; ++i, p += 4) {
        const uint32_t word = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
        dst[i] = static_cast<double>(word);
      }
      break;
    case -32:
      for (int64_t i = 0; i < count; ++i, p += 4) {
        const uint32_t word = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
        if ((word & 0x7F800000u) != 0x7F800000u) {
          // Below exponent 255 the arithmetic rule is exactly the IEEE value.
          dst[i] = static_cast<double>(std::bit_cast<float>(word));
        } else {
          const double f = static_cast<double>(word & 0x7FFFFFu) / 8388608.0;
          dst[i] = ((word >> 31) != 0 ? -1.0 : 1.0) * std::ldexp(1.0 + f, 128);
        }
      }
      break;
    case -64:
      for (int64_t i = 0; i < count; ++i, p += 8) {
        uint64_t word = 0;
        for (int k = 0; k < 8; ++k) word = (word << 8) | p[k];
        // The arithmetic rule is exactly the IEEE value; exponent 2047 gives
        // 2^1024 x (1 + f), an infinity, whatever the fraction.
        if ((word & 0x7FF0000000000000ull) != 0x7FF0000000000000ull) {
          dst[i] = std::bit_cast<double>(word);
        } else {
          dst[i] = (word >> 63) != 0 ? -HUGE_VAL : HUGE_VAL;
          if (first_infinite == 0) first_infinite = i + 1;
        }
      }
      break;
    default:
      break;
  }
  return first_infinite;
}

double DecodeSampleLiteral(const unsigned char* b, int64_t bitpix, double bzero) {
  switch (bitpix) {
    case 16:
      if (UnsignedSixteen(bzero)) return 256.0 * b[0] + b[1];
      return b[0] < 128 ? 256.0 * (b[0] + 128) + b[1] : 256.0 * (b[0] - 128) + b[1];
    case 32:
      return b[0] * 16777216.0 + b[1] * 65536.0 + b[2] * 256.0 + b[3];
    case -32: {
      const double sign = b[0] >= 128 ? -1.0 : 1.0;
      const int e = b[1] >= 128 ? 2 * (b[0] % 128) + 1 : 2 * (b[0] % 128);
      const double f = ((b[1] % 128) * 65536.0 + b[2] * 256.0 + b[3]) / 8388608.0;
      if (e > 0) return sign * std::pow(2.0, e - 127) * (1.0 + f);
      return sign * std::pow(2.0, -126) * f;
    }
    case -64: {
      const double sign = b[0] >= 128 ? -1.0 : 1.0;
      const int e = 16 * (b[0] % 128) + b[1] / 16;
      double f = (b[1] % 16) / 16.0;
      for (int j = 3; j <= 8; ++j) f += b[j - 1] / (16.0 * std::pow(256.0, j - 2));
      if (e > 0) return sign * std::pow(2.0, e - 1023) * (1.0 + f);
      return sign * std::pow(2.0, -1022) * f;
    }
    default:
      return 0;
  }
}

bool ReadSamplesByteByByte(const std::string& path, int64_t data_offset, int64_t count, int64_t bitpix,
                           double bzero, std::vector<double>& out) {
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
    if (ok) out[static_cast<std::size_t>(i)] = DecodeSampleLiteral(buffer, bitpix, bzero);
  }
  ::close(fd);
  return ok;
}

}  // namespace quillon::before
