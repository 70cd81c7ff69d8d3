#pragma once
// The last steps of every read of a spectrum, whatever layout its samples
// came from: the level (the median of the block maxima of the present
// samples), the levelled values with the bottom level of their summary, the
// two refusals these steps can make, and the spectrum taking the arrays.

#include <cstdint>
#include <string>
#include <vector>

#include "spectrum/level_summary.h"
#include "spectrum/spectrum.h"
#include "spectrum/spectrum_statistics.h"

namespace quillon {

/// What levelling made of a spectrum's samples.
struct Levelling {
  enum class Outcome {
    kLevelled,       ///< `levelled` and `bottom` hold the values
    kUnusableLevel,  ///< the level is 0 or not finite
    kTooLarge,       ///< a levelled value is not finite
  };
  Outcome outcome = Outcome::kLevelled;
  double norm = 0;
  LevelledRange range;
  int64_t too_large = 0;  ///< kTooLarge: the first sample whose levelled value is not finite
};

/// Levels samples[1..n] (NaN where missing, at least one present): the level
/// is the median of peaks[1..] (the block maxima AppendBlockPeaksOfPresent
/// takes, reordered by the selection), `levelled` and `bottom` receive the
/// levelled values and the bottom level of their summary.
Levelling LevelSamplesByPeaks(const SampleArray& samples, int64_t n, std::vector<double>& peaks,
                              SampleArray& levelled, LevelSummary::Blocks& bottom);

/// The sentence refusing a spectrum that levelling could not level;
/// `quoted_name` names it in quotes and `subject` is what cannot be shown
/// ("the file", "it"). Empty for a levelled one.
std::string LevellingRefusal(const Levelling& levelling, const std::string& quoted_name, const std::string& subject);

/// The spectrum takes the samples, their levelled values and the summary
/// over them, with the level and the count of missing samples.
void TakeLevelled(Spectrum& spectrum, const Levelling& levelling, int64_t missing, SampleArray&& samples,
                  SampleArray&& levelled, LevelSummary::Blocks&& bottom);

}  // namespace quillon
