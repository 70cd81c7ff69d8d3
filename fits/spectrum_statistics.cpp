#include "fits/spectrum_statistics.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "shell/large_buffer.h"

namespace quillon {

void QuickSortRange(std::vector<double>& peaks, int64_t lo, int64_t hi, std::minstd_rand& random) {
  // Loop on the larger part and recurse on the smaller one, so the depth
  // stays logarithmic whatever the pivots.
  while (hi - lo >= 1) {
    if (hi - lo == 1) {
      if (peaks[static_cast<std::size_t>(lo)] > peaks[static_cast<std::size_t>(hi)])
        std::swap(peaks[static_cast<std::size_t>(lo)], peaks[static_cast<std::size_t>(hi)]);
      return;
    }
    std::uniform_int_distribution<int64_t> pick(lo, hi);
    std::swap(peaks[static_cast<std::size_t>(pick(random))], peaks[static_cast<std::size_t>(hi)]);
    const double pivot = peaks[static_cast<std::size_t>(hi)];
    // Both cursors stop on elements equal to the pivot, so a run of equal
    // maxima (the zeros of a dark spectrum) splits evenly instead of taking
    // quadratic time.
    int64_t left = lo - 1;
    int64_t right = hi;
    for (;;) {
      while (peaks[static_cast<std::size_t>(++left)] < pivot) {
      }
      while (right > lo && pivot < peaks[static_cast<std::size_t>(--right)]) {
      }
      if (left >= right) break;
      std::swap(peaks[static_cast<std::size_t>(left)], peaks[static_cast<std::size_t>(right)]);
    }
    std::swap(peaks[static_cast<std::size_t>(left)], peaks[static_cast<std::size_t>(hi)]);
    if (left - lo < hi - left) {
      QuickSortRange(peaks, lo, left - 1, random);
      lo = left + 1;
    } else {
      QuickSortRange(peaks, left + 1, hi, random);
      hi = left - 1;
    }
  }
}

double SortedMedian(std::vector<double>& peaks, int64_t count) {
  if (count <= 0) return 0;
  std::minstd_rand random(20261207u);
  QuickSortRange(peaks, 1, count, random);
  if (count % 2 == 1) return peaks[static_cast<std::size_t>((count + 1) / 2)];
  return (peaks[static_cast<std::size_t>(count / 2)] + peaks[static_cast<std::size_t>(count / 2 + 1)]) / 2;
}

double SelectedMedian(std::vector<double>& peaks, int64_t count) {
  if (count <= 0) return 0;
  // The element that sorting would put at rank r, found in linear time:
  // the same median as SortedMedian, without ordering the rest.
  const auto first = peaks.begin() + 1;
  const auto upper = first + (count / 2);  // rank count / 2 + 1, 1-based
  std::nth_element(first, upper, first + count);
  if (count % 2 == 1) return *upper;
  // The even count's lower middle is the largest element below the upper one.
  return (*std::max_element(first, upper) + *upper) / 2;
}

double BlockPeakMedian(const std::vector<double>& samples, int64_t n, std::vector<double>& peaks) {
  const int64_t count = n > 0 ? (n + kPeakBlockLength - 1) / kPeakBlockLength : 0;
  peaks.assign(static_cast<std::size_t>(count) + 1, 0.0);
  for (int64_t block = 1; block <= count; ++block) {
    double peak = 0;
    const int64_t first = (block - 1) * kPeakBlockLength + 1;
    const int64_t last = std::min(n, block * kPeakBlockLength);
    for (int64_t i = first; i <= last; ++i) {
      const double sample = samples[static_cast<std::size_t>(i)];
      if (sample > peak) peak = sample;
    }
    peaks[static_cast<std::size_t>(block)] = peak;
  }
  return SelectedMedian(peaks, count);
}

double BlockPeakMedian(const std::vector<double>& samples, int64_t n) {
  std::vector<double> peaks;
  return BlockPeakMedian(samples, n, peaks);
}

double BlockPeakMedianOfPresent(const std::vector<double>& samples, int64_t n, std::vector<double>& peaks) {
  const int64_t blocks = n > 0 ? (n + kPeakBlockLength - 1) / kPeakBlockLength : 0;
  peaks.assign(static_cast<std::size_t>(blocks) + 1, 0.0);
  int64_t count = 0;
  for (int64_t block = 1; block <= blocks; ++block) {
    double peak = 0;
    bool present = false;
    const int64_t first = (block - 1) * kPeakBlockLength + 1;
    const int64_t last = std::min(n, block * kPeakBlockLength);
    for (int64_t i = first; i <= last; ++i) {
      const double sample = samples[static_cast<std::size_t>(i)];
      if (std::isnan(sample)) continue;
      present = true;
      if (sample > peak) peak = sample;
    }
    if (present) peaks[static_cast<std::size_t>(++count)] = peak;
  }
  peaks.resize(static_cast<std::size_t>(count) + 1);
  return SelectedMedian(peaks, count);
}

void AppendBlockPeaksOfPresent(const double* samples, int64_t count, std::vector<double>& peaks) {
  for (int64_t first = 0; first < count; first += kPeakBlockLength) {
    const int64_t length = std::min(kPeakBlockLength, count - first);
    const double* block = samples + first;
    // Four running maxima, which the compiler keeps in one vector register;
    // NaN is never greater, so a missing sample changes none. From 0 each,
    // strictly greater: the maximum is that of one pass.
    constexpr int kLanes = 4;
    double lane[kLanes] = {0, 0, 0, 0};
    int64_t i = 0;
    for (; i + kLanes <= length; i += kLanes) {
      for (int k = 0; k < kLanes; ++k) lane[k] = block[i + k] > lane[k] ? block[i + k] : lane[k];
    }
    for (; i < length; ++i) lane[0] = block[i] > lane[0] ? block[i] : lane[0];
    const double high = lane[1] > lane[0] ? lane[1] : lane[0];
    const double low = lane[3] > lane[2] ? lane[3] : lane[2];
    const double peak = low > high ? low : high;
    // A positive maximum is a present sample; only a block whose maximum
    // stays 0 is looked at again for one.
    bool present = peak > 0;
    for (int64_t j = 0; !present && j < length; ++j) present = !std::isnan(block[j]);
    if (present) peaks.push_back(peak);
  }
}

LevelledRange LevelSamples(const std::vector<double>& samples, int64_t n, double norm, std::vector<double>& levelled) {
  // The values are made a cache-sized piece at a time and appended, so the
  // long array is written once and never zeroed first.
  ReserveLarge(levelled, static_cast<std::size_t>(n) + 1);
  levelled.push_back(0);
  const double* in = samples.data() + 1;
  constexpr int64_t kPiece = 2048;
  double out[kPiece];
  // Four running bounds each: a single one would wait on the previous
  // comparison at every sample. Min and max do not depend on the order.
  constexpr int kLanes = 4;
  double low[kLanes], high[kLanes];
  // Starting from the infinities, a NaN (missing) value never enters a bound.
  for (int k = 0; k < kLanes; ++k) {
    low[k] = HUGE_VAL;
    high[k] = -HUGE_VAL;
  }
  for (int64_t base = 0; base < n; base += kPiece) {
    const int64_t m = std::min(kPiece, n - base);
    // Plain loops without early exits, so the compiler can use vector
    // division and vector min/max; the results are the scalar ones.
    for (int64_t i = 0; i < m; ++i) out[i] = 100 * in[base + i] / norm;
    int64_t i = 0;
    for (; i + kLanes <= m; i += kLanes) {
      for (int k = 0; k < kLanes; ++k) {
        low[k] = out[i + k] < low[k] ? out[i + k] : low[k];
        high[k] = out[i + k] > high[k] ? out[i + k] : high[k];
      }
    }
    for (; i < m; ++i) {
      low[0] = out[i] < low[0] ? out[i] : low[0];
      high[0] = out[i] > high[0] ? out[i] : high[0];
    }
    levelled.insert(levelled.end(), out, out + m);
  }
  for (int k = 1; k < kLanes; ++k) {
    low[0] = low[k] < low[0] ? low[k] : low[0];
    high[0] = high[k] > high[0] ? high[k] : high[0];
  }
  return {low[0], high[0]};
}

int64_t FirstNonFinite(const std::vector<double>& values, int64_t n) {
  for (int64_t i = 1; i <= n; ++i) {
    if (!std::isfinite(values[static_cast<std::size_t>(i)])) return i;
  }
  return 0;
}

}  // namespace quillon

namespace quillon {

int64_t FirstInfinite(const std::vector<double>& values, int64_t n) {
  for (int64_t i = 1; i <= n; ++i) {
    if (std::isinf(values[static_cast<std::size_t>(i)])) return i;
  }
  return 0;
}

}  // namespace quillon
