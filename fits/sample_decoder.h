#pragma once
// Sample decoding by BITPIX into the FITS standard's physical values:
// BZERO + BSCALE x stored, integers read as signed two's complement.
// Missing samples (NaN or infinite floating-point values, integers equal to
// BLANK) come out as NaN.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

/// Bytes per sample of a BITPIX the loader decodes (16, 32, -32, -64), 0 for
/// any other.
int BytesPerSample(int64_t bitpix);

/// How stored samples become physical values.
struct SampleScaling {
  double bscale = 1;               ///< BSCALE; 1 when the card is absent
  double bzero = 0;                ///< BZERO; 0 when the card is absent
  std::optional<int64_t> blank;    ///< BLANK of integer data: the stored value of a missing sample
};

/// Decodes `count` samples of `width` = BytesPerSample(bitpix) bytes each
/// from `bytes` into out[1..count] (out[0] is set to 0 and unused) as
/// BZERO + BSCALE x stored. Unscaled samples (BSCALE 1, BZERO 0) are the
/// stored values exactly. A missing sample is NaN. Returns the number of
/// missing samples.
int64_t DecodeSamples(const unsigned char* bytes, int64_t count, int64_t bitpix, const SampleScaling& scaling,
                      std::vector<double>& out);

/// The same into dst[0..count-1], which the caller provides: a long data
/// block is decoded piece by piece straight into the slot's array.
int64_t DecodeSamplesInto(const unsigned char* bytes, int64_t count, int64_t bitpix, const SampleScaling& scaling,
                          double* dst);

/// Bytes per sample of any FITS BITPIX (8, 16, 32, 64, -32, -64), 0 for any
/// other. BytesPerSample stays the primary spectrum reader's own list.
int SampleWidth(int64_t bitpix);

/// DecodeSamplesInto for every BITPIX that SampleWidth knows: 8 (unsigned
/// bytes) and 64 (signed 64-bit integers) as well. BLANK applies to the
/// integer types; 64-bit samples with BSCALE 1 and BZERO 2^63 (the unsigned
/// convention) are converted from the unsigned value in one rounding.
/// Returns the number of missing samples.
int64_t DecodeAnySamplesInto(const unsigned char* bytes, int64_t count, int64_t bitpix, const SampleScaling& scaling,
                             double* dst);

/// The same with BSCALE 1, `bzero` and no BLANK.
int64_t DecodeSamples(const unsigned char* bytes, int64_t count, int64_t bitpix, double bzero,
                      std::vector<double>& out);

/// The same values by the literal rule: each byte fetched by its own
/// positioned one-byte read from the file at `path` and the sample assembled
/// with the powers of two as written. Kept as the reference that the fast
/// path is tested and benchmarked against. Returns false when the file
/// cannot be opened or a byte cannot be read.
bool ReadSamplesByteByByte(const std::string& path, int64_t data_offset, int64_t count, int64_t bitpix,
                           const SampleScaling& scaling, std::vector<double>& out);
bool ReadSamplesByteByByte(const std::string& path, int64_t data_offset, int64_t count, int64_t bitpix,
                           double bzero, std::vector<double>& out);

/// One sample by the literal arithmetic from its `width` bytes b[0..width-1]:
/// the stored value (two's complement integer, or the IEEE number written
/// out with powers of two), NaN when missing, then BZERO + BSCALE x stored.
double DecodeSampleLiteral(const unsigned char* b, int64_t bitpix, const SampleScaling& scaling);
double DecodeSampleLiteral(const unsigned char* b, int64_t bitpix, double bzero);

}  // namespace quillon
