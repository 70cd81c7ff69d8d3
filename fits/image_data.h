#pragma once
// The samples of an image HDU (the primary array or an IMAGE extension) as
// physical values: BZERO + BSCALE x stored, for every BITPIX; BLANK, NaN and
// infinities are missing (NaN).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fits/byte_source.h"
#include "fits/hdu_list.h"
#include "fits/sample_decoder.h"

namespace quillon {

/// Where an image's samples lie and how they become physical values.
struct ImageLayout {
  int bitpix = 0;
  std::vector<int64_t> axes;  ///< NAXIS1, NAXIS2, ...
  SampleScaling scaling;      ///< BSCALE, BZERO; BLANK for integer BITPIX
  int64_t data_offset = 0;

  /// Samples in all: the product of the axes (0 without axes).
  int64_t Samples() const;
  /// Samples in a row: NAXIS1 (0 without axes).
  int64_t RowLength() const { return axes.empty() ? 0 : axes[0]; }
  /// Rows: the product of NAXIS2, NAXIS3, ... (1 for a 1-D image, 0 for an
  /// empty one). Row r of a 3-D image is row r % NAXIS2 of plane r / NAXIS2.
  int64_t Rows() const;
};

/// The layout of an image HDU (the primary or an IMAGE extension). Refuses,
/// with a sentence naming the HDU in `error`, a table or other extension,
/// random groups, GCOUNT other than 1 or PCOUNT other than 0 (no
/// image layout), and BSCALE = 0.
std::optional<ImageLayout> ImageLayoutOf(const Hdu& hdu, std::string& error);

/// Decodes samples [first, first + count) in storage order into out[0..count-1],
/// reading the data a piece at a time. Returns false with the reason in
/// `error` for a range outside the image or a failed read. `missing`, when
/// given, receives the number of missing samples.
bool ReadImageSamples(ByteSource& source, const ImageLayout& image, int64_t first, int64_t count, double* out,
                      std::string& error, int64_t* missing = nullptr);

/// Row `row` (0-based, over every axis after the first) into `out`, which
/// gets RowLength() values.
bool ReadImageRow(ByteSource& source, const ImageLayout& image, int64_t row, std::vector<double>& out,
                  std::string& error, int64_t* missing = nullptr);

}  // namespace quillon
