#include "fits/image_data.h"

#include <algorithm>

namespace quillon {

namespace {

// Bytes read from the source at a time: a piece stays in the cache while it
// is decoded.
constexpr int64_t kPieceBytes = int64_t{1} << 18;

}  // namespace

int64_t ImageLayout::Samples() const {
  if (axes.empty()) return 0;
  int64_t n = 1;
  for (int64_t length : axes) n *= length;  // bounded by the file's size (ListHdus)
  return n;
}

int64_t ImageLayout::Rows() const {
  if (axes.empty()) return 0;
  int64_t n = 1;
  for (std::size_t k = 1; k < axes.size(); ++k) n *= axes[k];
  return axes[0] == 0 ? 0 : n;
}

std::optional<ImageLayout> ImageLayoutOf(const Hdu& hdu, std::string& error) {
  if (hdu.kind != HduKind::kPrimary && hdu.kind != HduKind::kImage) {
    error = DescribeHdu(hdu) + " is not an image.";
    return std::nullopt;
  }
  if (hdu.gcount != 1 || hdu.pcount != 0 || (hdu.index == 0 && !hdu.axes.empty() && hdu.axes[0] == 0 &&
                                             hdu.header.Logical("GROUPS").value_or(false))) {
    error = DescribeHdu(hdu) + " holds random groups (PCOUNT = " + std::to_string(hdu.pcount) +
            ", GCOUNT = " + std::to_string(hdu.gcount) + "), not an image.";
    return std::nullopt;
  }
  ImageLayout image;
  image.bitpix = hdu.bitpix;
  image.axes = hdu.axes;
  image.data_offset = hdu.data_offset;
  const HduHeader& h = hdu.header;
  image.scaling.bscale = h.Number("BSCALE").value_or(1.0);
  image.scaling.bzero = h.Number("BZERO").value_or(0.0);
  if (image.scaling.bscale == 0) {
    error = DescribeHdu(hdu) + " gives BSCALE = 0, which would make every sample the same value.";
    return std::nullopt;
  }
  if (hdu.bitpix > 0) image.scaling.blank = h.Integer("BLANK");
  return image;
}

bool ReadImageSamples(ByteSource& source, const ImageLayout& image, int64_t first, int64_t count, double* out,
                      std::string& error, int64_t* missing) {
  const int width = SampleWidth(image.bitpix);
  if (width == 0 || first < 0 || count < 0 || first > image.Samples() || count > image.Samples() - first) {
    error = "samples " + std::to_string(first) + " to " + std::to_string(first + count) +
            " are outside the image";
    return false;
  }
  const int64_t piece = kPieceBytes / width;
  std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min(piece, count) * width));
  int64_t missed = 0;
  for (int64_t done = 0; done < count;) {
    const int64_t n = std::min(piece, count - done);
    if (!source.Read(image.data_offset + (first + done) * width, n * width, buffer.data(), error)) return false;
    missed += DecodeAnySamplesInto(buffer.data(), n, image.bitpix, image.scaling, out + done);
    done += n;
  }
  if (missing != nullptr) *missing = missed;
  return true;
}

bool ReadImageRow(ByteSource& source, const ImageLayout& image, int64_t row, std::vector<double>& out,
                  std::string& error, int64_t* missing) {
  if (row < 0 || row >= image.Rows()) {
    error = "row " + std::to_string(row) + " is outside the image's " + std::to_string(image.Rows()) + " rows";
    return false;
  }
  out.resize(static_cast<std::size_t>(image.RowLength()));
  return ReadImageSamples(source, image, row * image.RowLength(), image.RowLength(), out.data(), error, missing);
}

}  // namespace quillon
