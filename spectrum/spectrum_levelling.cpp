#include "spectrum/spectrum_levelling.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillon {

Levelling LevelSamplesByPeaks(const SampleArray& samples, int64_t n, std::vector<double>& peaks,
                              SampleArray& levelled, LevelSummary::Blocks& bottom) {
  Levelling out;
  out.norm = SelectedMedian(peaks, static_cast<int64_t>(peaks.size()) - 1);
  if (out.norm == 0 || !std::isfinite(out.norm)) {
    out.outcome = Levelling::Outcome::kUnusableLevel;
    return out;
  }
  // The bottom level of the renderer's min/max pyramid is taken while each
  // piece of levelled values is in the cache, so that the first drawing of a
  // long spectrum does not wait for it.
  out.range = LevelSamples(samples, n, out.norm, levelled, bottom);
  if (!std::isfinite(out.range.min) || !std::isfinite(out.range.max)) {
    out.outcome = Levelling::Outcome::kTooLarge;
    out.too_large = FirstInfinite(levelled, n);
  }
  return out;
}

std::string LevellingRefusal(const Levelling& levelling, const std::string& quoted_name, const std::string& subject) {
  switch (levelling.outcome) {
    case Levelling::Outcome::kLevelled:
      return "";
    case Levelling::Outcome::kUnusableLevel:
      return "The level of " + quoted_name + " (the median of the largest values of its 50-sample " + "blocks) is " +
             (levelling.norm == 0 ? "0" : "beyond the range of numbers") +
             ", so the spectrum cannot be scaled to read 100; " + subject + " cannot be shown.";
    case Levelling::Outcome::kTooLarge:
      return "Sample " + std::to_string(levelling.too_large) + " of " + quoted_name +
             " is too large against the level of the spectrum to be drawn; " + subject + " cannot be shown.";
  }
  return "";
}

void TakeLevelled(Spectrum& spectrum, const Levelling& levelling, int64_t missing, SampleArray&& samples,
                  SampleArray&& levelled, LevelSummary::Blocks&& bottom) {
  spectrum.missing = missing;
  spectrum.norm = levelling.norm;
  spectrum.levelled_max = std::max(levelling.range.max, -9999.0);
  spectrum.intensity = std::move(samples);
  spectrum.levelled = std::move(levelled);
  // The rest of the pyramid, over the levelled values where they now live.
  spectrum.summary = LevelSummary::Build(spectrum.levelled, std::move(bottom), missing > 0);
}

}  // namespace quillon
