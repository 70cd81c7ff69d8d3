#include "spectrum/spectrum_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/large_buffer.h"
#include "base/vector_clones.h"

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

namespace {

// The largest of block[0..length-1] and 0; NaN is never greater.
double BlockMaximum(const double* block, int64_t length) {
  double peak = 0;
  for (int64_t i = 0; i < length; ++i) peak = block[i] > peak ? block[i] : peak;
  return peak;
}

// The maximum of each of `blocks` whole 50-sample blocks, each starting
// from 0. Four blocks at a time: each block's first 48 samples are folded in
// vectors of four, the four blocks' vectors are folded across one another,
// and the last two samples of each block are taken one by one. NaN is never
// greater, so a missing sample changes none; strictly greater from 0, the
// maximum is that of one pass.
QUILLON_VECTOR_CLONES
void WholeBlockMaxima(const double* samples, int64_t blocks, double* maxima) {
  static_assert(kPeakBlockLength == 50);
  using Quad = double __attribute__((vector_size(32)));
  int64_t b = 0;
  for (; b + 4 <= blocks; b += 4) {
    Quad peak[4];
    for (int j = 0; j < 4; ++j) {
      const double* block = samples + (b + j) * kPeakBlockLength;
      Quad m0 = {0, 0, 0, 0}, m1 = {0, 0, 0, 0};
      for (int i = 0; i < 48; i += 8) {
        Quad v, w;
        std::memcpy(&v, block + i, sizeof v);
        std::memcpy(&w, block + i + 4, sizeof w);
        m0 = v > m0 ? v : m0;
        m1 = w > m1 ? w : m1;
      }
      peak[j] = m1 > m0 ? m1 : m0;
    }
    Quad x = __builtin_shufflevector(peak[0], peak[1], 0, 4, 2, 6);
    Quad y = __builtin_shufflevector(peak[0], peak[1], 1, 5, 3, 7);
    const Quad p01 = y > x ? y : x;
    x = __builtin_shufflevector(peak[2], peak[3], 0, 4, 2, 6);
    y = __builtin_shufflevector(peak[2], peak[3], 1, 5, 3, 7);
    const Quad p23 = y > x ? y : x;
    x = __builtin_shufflevector(p01, p23, 0, 1, 4, 5);
    y = __builtin_shufflevector(p01, p23, 2, 3, 6, 7);
    const Quad peaks = y > x ? y : x;
    for (int j = 0; j < 4; ++j) {
      const double* tail = samples + (b + j) * kPeakBlockLength + 48;
      double peak = peaks[j];
      peak = tail[0] > peak ? tail[0] : peak;
      peak = tail[1] > peak ? tail[1] : peak;
      maxima[b + j] = peak;
    }
  }
  for (; b < blocks; ++b) maxima[b] = BlockMaximum(samples + b * kPeakBlockLength, kPeakBlockLength);
}

// levels[i] = 100 x values[i] / norm, each exactly as written (no
// reciprocal is taken), so the vector division gives the scalar values.
QUILLON_VECTOR_CLONES
void ScaleToLevels(const double* values, int64_t count, double norm, double* levels) {
  for (int64_t i = 0; i < count; ++i) levels[i] = 100 * values[i] / norm;
}

}  // namespace

void AppendBlockPeaksOfPresent(const double* samples, int64_t count, std::vector<double>& peaks) {
  constexpr int64_t kChunk = 64;
  double maxima[kChunk];
  for (int64_t first = 0; first < count; first += kChunk * kPeakBlockLength) {
    const int64_t left = count - first;
    const int64_t whole = std::min(kChunk, left / kPeakBlockLength);
    const int64_t blocks = std::min(kChunk, (left + kPeakBlockLength - 1) / kPeakBlockLength);
    WholeBlockMaxima(samples + first, whole, maxima);
    // The short last block.
    if (blocks > whole)
      maxima[whole] = BlockMaximum(samples + first + whole * kPeakBlockLength, left - whole * kPeakBlockLength);
    for (int64_t b = 0; b < blocks; ++b) {
      // A positive maximum is a present sample; only a block whose maximum
      // stays 0 is looked at again for one.
      const double* block = samples + first + b * kPeakBlockLength;
      const int64_t length = std::min(kPeakBlockLength, left - b * kPeakBlockLength);
      bool present = maxima[b] > 0;
      for (int64_t j = 0; !present && j < length; ++j) present = !std::isnan(block[j]);
      if (present) peaks.push_back(maxima[b]);
    }
  }
}

LevelledRange LevelSamples(const std::vector<double>& samples, int64_t n, double norm, std::vector<double>& levelled,
                           LevelSummary::Blocks& blocks) {
  // The values are made a piece at a time in a buffer that stays in the
  // first-level cache, summarised there, and appended, so the long array is
  // written once and never zeroed first.
  ReserveLarge(levelled, static_cast<std::size_t>(n) + 1);
  levelled.push_back(0);
  blocks.Reserve(n);
  const double* in = samples.data() + 1;
  // A whole number of the summary's blocks.
  constexpr int64_t kPiece = 2048;
  static_assert(kPiece % LevelSummary::kFanout == 0);
  double out[kPiece];
  for (int64_t base = 0; base < n; base += kPiece) {
    const int64_t m = std::min(kPiece, n - base);
    ScaleToLevels(in + base, m, norm, out);
    blocks.Append(out, m);
    levelled.insert(levelled.end(), out, out + m);
  }
  return {blocks.lowest, blocks.highest};
}

LevelledRange LevelSamples(const std::vector<double>& samples, int64_t n, double norm, std::vector<double>& levelled) {
  LevelSummary::Blocks blocks;
  return LevelSamples(samples, n, norm, levelled, blocks);
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
