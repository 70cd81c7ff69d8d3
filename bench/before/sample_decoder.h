#pragma once
// As it was before FITS physical values and wavelength scales, kept in
// quillon::before for the side-by-side load benchmark.
// Sample decoding by BITPIX. Every rule is the plain arithmetic on the
// big-endian bytes of one sample: BSCALE is never applied and BZERO never
// added; for 16-bit data BZERO only chooses between the two rules.

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::before {

/// Bytes per sample of a BITPIX the loader decodes (16, 32, -32, -64), 0 for
/// any other.
int BytesPerSample(int64_t bitpix);

/// Decodes `count` samples of `width` = BytesPerSample(bitpix) bytes each
/// from `bytes` into out[1..count] (out[0] is set to 0 and unused). `bzero`
/// selects the 16-bit rule: |BZERO| < 0.00001 reads the two bytes unsigned,
/// otherwise the stored signed sample plus 32768. An exponent-255 single
/// goes through the same formula (+-2^128 x (1 + f)); an exponent-2047 double
/// gives an infinity, which the caller refuses. Returns the index of the
/// first sample that is not finite, 0 when every one is (only an
/// exponent-2047 double can be infinite, so no other sample needs a test).
int64_t DecodeSamples(const unsigned char* bytes, int64_t count, int64_t bitpix, double bzero,
                   std::vector<double>& out);

/// The same values by the literal rule: each byte fetched by its own
/// positioned one-byte read from the file at `path` and the sample assembled
/// with the powers of two as written. Kept as the reference that the fast
/// path is tested and benchmarked against. Returns false when the file
/// cannot be opened or a byte cannot be read.
bool ReadSamplesByteByByte(const std::string& path, int64_t data_offset, int64_t count, int64_t bitpix,
                           double bzero, std::vector<double>& out);

/// One sample by the literal arithmetic from its `width` bytes b[0..width-1].
double DecodeSampleLiteral(const unsigned char* b, int64_t bitpix, double bzero);

}  // namespace quillon::before
