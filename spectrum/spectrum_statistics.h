#pragma once
// The normalising level of a spectrum: the median of the maxima of
// consecutive 50-sample blocks, and the sort that finds it.

#include <cstdint>
#include <random>
#include <vector>

#include "spectrum/level_summary.h"

namespace quillon {

/// Samples per block for the block maxima.
inline constexpr int64_t kPeakBlockLength = 50;

/// Sorts peaks[lo..hi] (inclusive, 1-based as the caller's table) into
/// ascending order in place. The pivot position is drawn from `random`;
/// ranges of one element or none are left alone and two elements take one
/// compare-and-swap.
void QuickSortRange(std::vector<double>& peaks, int64_t lo, int64_t hi, std::minstd_rand& random);

/// Sorts peaks[1..count] ascending in place and returns their median: the
/// middle element for an odd count, the mean of the two middle ones for an
/// even count; 0 for a count of 0. Deterministic: the pivots come from a
/// generator with a fixed seed.
double SortedMedian(std::vector<double>& peaks, int64_t count);

/// The median of peaks[1..count], as SortedMedian gives it, found by
/// selection (linear time); the elements are reordered but not sorted.
double SelectedMedian(std::vector<double>& peaks, int64_t count);

/// Normalising level of samples[1..n]: each block of 50 (the last holding
/// what is left) gives its maximum, starting from 0, and the median of the
/// maxima is returned. `peaks` receives the maxima at 1..count, in the order
/// the selection of the median left them.
double BlockPeakMedian(const std::vector<double>& samples, int64_t n, std::vector<double>& peaks);

/// The same without keeping the maxima.
double BlockPeakMedian(const std::vector<double>& samples, int64_t n);

/// The level of samples[1..n] some of which are missing (NaN): each block's
/// maximum is taken over its present samples, starting from 0, and a block
/// that holds no present sample gives no maximum. Without missing samples
/// this is BlockPeakMedian. `peaks` receives the maxima at 1..count, in the
/// order the selection of the median left them.
double BlockPeakMedianOfPresent(const std::vector<double>& samples, int64_t n, std::vector<double>& peaks);

/// Appends to peaks the maximum of each 50-sample block of
/// samples[0..count-1] that holds a present sample, each starting from 0; a
/// block whose samples are all missing (NaN) gives none. Called with
/// consecutive pieces of a spectrum whose lengths, but the last one's, are
/// multiples of 50, it appends the maxima BlockPeakMedianOfPresent takes.
void AppendBlockPeaksOfPresent(const double* samples, int64_t count, std::vector<double>& peaks);

/// Smallest and largest of a set of levelled samples.
struct LevelledRange {
  double min = 0;
  double max = 0;
};

/// levelled[1..n] = 100 x samples[i] / norm, each exactly as written (no
/// reciprocal is taken), and their range; levelled[0] is 0. A missing sample
/// (NaN) stays NaN and is left out of the range. For finite samples and a
/// finite, non-zero norm a value can only overflow to an infinity, so an
/// infinite bound tells that some value is not finite; with no present
/// sample the range is +inf..-inf. n >= 1.
LevelledRange LevelSamples(const std::vector<double>& samples, int64_t n, double norm, std::vector<double>& levelled);

/// The same, and the bottom level of their summary in `blocks` (emptied
/// first; room it already has is used), taken from each piece of levelled
/// values while it is in the cache.
LevelledRange LevelSamples(const std::vector<double>& samples, int64_t n, double norm, std::vector<double>& levelled,
                           LevelSummary::Blocks& blocks);

/// Index of the first of values[1..n] that is not finite, 0 when all are.
int64_t FirstNonFinite(const std::vector<double>& values, int64_t n);

/// Index of the first of values[1..n] that is infinite, 0 when none is
/// (NaN, a missing sample, is not).
int64_t FirstInfinite(const std::vector<double>& values, int64_t n);

}  // namespace quillon
