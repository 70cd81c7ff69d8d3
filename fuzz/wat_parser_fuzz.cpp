// libFuzzer entry point for the IRAF multispec coordinates: the WAT cards
// joined, the specN apertures parsed and every aperture evaluated. The first
// two bytes choose NAXIS1 (1 to 4096) and the number of image lines (1 to
// 128); the rest is header text, 80 characters a card. Besides the
// sanitizers, each run checks what the parser promises: nothing kept beyond
// what the text holds, every aperture within its line, every wavelength a
// finite number or NaN.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "spectrum/iraf_multispec.h"

namespace {

using namespace quillon;

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int64_t naxis1 = 1 + (data[0] | (data[1] & 0x0F) << 8);
  const int64_t lines = 1 + (data[1] >> 4) * 8;
  const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::vector<std::string> cards(1);
  for (std::size_t at = 0; at < text.size(); at += 80) cards.push_back(text.substr(at, 80));

  std::string error;
  const std::optional<MultispecWcs> wcs = ParseMultispec(cards, naxis1, lines, error);
  if (!wcs) return 0;
  Check(error.empty());
  Check(std::isfinite(wcs->ltv1) && std::isfinite(wcs->ltm1_1) && wcs->ltm1_1 != 0);
  Check(static_cast<int64_t>(wcs->apertures.size()) <= lines);
  std::size_t kept = 0;
  std::vector<double> wave;
  for (const MultispecAperture& ap : wcs->apertures) {
    Check(ap.line >= 1 && ap.line <= lines && ap.nw >= 1 && ap.nw <= naxis1);
    Check(ap.dtype >= -1 && ap.dtype <= 2 && (ap.dtype == 2) == !ap.functions.empty());
    for (const MultispecFunction& f : ap.functions) {
      Check(f.count >= 1 && f.type >= 1 && f.type <= 6);
      for (const double v : f.values) Check(std::isfinite(v));
      if (f.type <= 4) Check(f.pmin != f.pmax);
      kept += f.values.size();
    }
    wave.assign(static_cast<std::size_t>(ap.nw), 0.0);
    EvaluateMultispec(*wcs, ap, ap.nw, wave.data());
    for (const double w : wave) Check(std::isfinite(w) || std::isnan(w));
  }
  // Every number kept was written in the text, one at least a byte and a blank.
  Check(kept <= text.size() / 2 + 1);
  return 0;
}
