#include "spectrum/level_summary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/large_buffer.h"
#include "base/vector_clones.h"

namespace quillon {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Comparisons with NaN are false, so a missing sample or an empty block
// changes neither bound.
inline void Take(double low, double high, double& lo, double& hi) {
  lo = low < lo ? low : lo;
  hi = high > hi ? high : hi;
}

// The blocks of groups of four whole blocks of values[0..]: each block's
// sixteen samples folded in four vectors, then the four blocks' vectors
// folded across one another. A missing sample (NaN) is skipped by the
// first fold, which compares each sample with a running bound that is never
// NaN, so the later folds see only numbers.
QUILLON_VECTOR_CLONES
void FoldBlockGroups(const double* low_in, const double* high_in, int64_t groups, double* low, double* high) {
  static_assert(LevelSummary::kFanout == 16);
  using Quad = double __attribute__((vector_size(32)));
  const Quad up = {kInfinity, kInfinity, kInfinity, kInfinity};
  const Quad down = -up;
  for (int64_t g = 0; g < groups; ++g) {
    Quad lo[4], hi[4];
    for (int j = 0; j < 4; ++j) {
      Quad l = up, h = down;
      for (int k = 0; k < 16; k += 4) {
        Quad v, w;
        std::memcpy(&v, low_in + (g * 4 + j) * 16 + k, sizeof v);
        std::memcpy(&w, high_in + (g * 4 + j) * 16 + k, sizeof w);
        l = v < l ? v : l;
        h = w > h ? w : h;
      }
      lo[j] = l;
      hi[j] = h;
    }
    Quad a = __builtin_shufflevector(lo[0], lo[1], 0, 4, 2, 6), b = __builtin_shufflevector(lo[0], lo[1], 1, 5, 3, 7);
    const Quad lo01 = b < a ? b : a;
    a = __builtin_shufflevector(lo[2], lo[3], 0, 4, 2, 6), b = __builtin_shufflevector(lo[2], lo[3], 1, 5, 3, 7);
    const Quad lo23 = b < a ? b : a;
    a = __builtin_shufflevector(lo01, lo23, 0, 1, 4, 5), b = __builtin_shufflevector(lo01, lo23, 2, 3, 6, 7);
    const Quad lows = b < a ? b : a;
    a = __builtin_shufflevector(hi[0], hi[1], 0, 4, 2, 6), b = __builtin_shufflevector(hi[0], hi[1], 1, 5, 3, 7);
    const Quad hi01 = b > a ? b : a;
    a = __builtin_shufflevector(hi[2], hi[3], 0, 4, 2, 6), b = __builtin_shufflevector(hi[2], hi[3], 1, 5, 3, 7);
    const Quad hi23 = b > a ? b : a;
    a = __builtin_shufflevector(hi01, hi23, 0, 1, 4, 5), b = __builtin_shufflevector(hi01, hi23, 2, 3, 6, 7);
    const Quad highs = b > a ? b : a;
    std::memcpy(low + g * 4, &lows, sizeof lows);
    std::memcpy(high + g * 4, &highs, sizeof highs);
  }
}

// The blocks of count items of low_in/high_in (a level's, or the samples
// as both) into low/high: NaN for a block without a present item.
void FoldLevel(const double* low_in, const double* high_in, int64_t count, double* low, double* high) {
  constexpr int64_t kFanout = LevelSummary::kFanout;
  const int64_t blocks = (count + kFanout - 1) / kFanout;
  const int64_t groups = count / (4 * kFanout);
  FoldBlockGroups(low_in, high_in, groups, low, high);
  for (int64_t b = groups * 4; b < blocks; ++b) {
    double lo = kInfinity, hi = -kInfinity;
    for (int64_t i = b * kFanout; i < std::min(count, (b + 1) * kFanout); ++i) Take(low_in[i], high_in[i], lo, hi);
    low[b] = lo;
    high[b] = hi;
  }
  for (int64_t b = 0; b < blocks; ++b) {
    if (!(low[b] <= high[b])) low[b] = high[b] = kNaN;
  }
}

}  // namespace

bool LevelSummary::Blocks::Reserve(int64_t count) {
  const auto blocks = static_cast<std::size_t>((count + kFanout - 1) / kFanout);
  lowest = kInfinity;
  highest = -kInfinity;
  const bool new_low = ReserveLarge(low, blocks);
  const bool new_high = ReserveLarge(high, blocks);
  return new_low || new_high;
}

void LevelSummary::Blocks::Append(const double* values, int64_t count) {
  const std::size_t first = low.size();
  const int64_t blocks = (count + kFanout - 1) / kFanout;
  low.resize(first + static_cast<std::size_t>(blocks));
  high.resize(first + static_cast<std::size_t>(blocks));
  double* lo_out = low.data() + first;
  double* hi_out = high.data() + first;
  FoldLevel(values, values, count, lo_out, hi_out);
  for (int64_t b = 0; b < blocks; ++b) Take(lo_out[b], hi_out[b], lowest, highest);
}

LevelSummary::Blocks LevelSummary::BottomOf(const SampleArray& levelled) {
  Blocks bottom;
  const int64_t count = levelled.empty() ? 0 : static_cast<int64_t>(levelled.size()) - 1;
  bottom.Reserve(count);
  bottom.Append(levelled.data() + 1, count);
  return bottom;
}

LevelSummary::LevelSummary(const SampleArray& levelled) : LevelSummary(levelled, BottomOf(levelled), true) {}

LevelSummary::LevelSummary(const SampleArray& levelled, Blocks bottom, bool may_miss)
    : source_(levelled.data()), count_(levelled.empty() ? 0 : static_cast<int64_t>(levelled.size()) - 1) {
  // A single sample makes no level; above the bottom, each level from the
  // one below, until one block is left.
  if (count_ > 1) levels_.push_back(Level{std::move(bottom.low), std::move(bottom.high)});
  int64_t below = count_ > 1 ? static_cast<int64_t>(levels_.back().low.size()) : 1;
  while (below > 1) {
    const int64_t blocks = (below + kFanout - 1) / kFanout;
    Level level;
    ResizeLarge(level.low, static_cast<std::size_t>(blocks));
    ResizeLarge(level.high, static_cast<std::size_t>(blocks));
    FoldLevel(levels_.back().low.data(), levels_.back().high.data(), below, level.low.data(), level.high.data());
    levels_.push_back(std::move(level));
    below = blocks;
  }

  const double* samples = levelled.data() + 1;
  for (int64_t i = 0; may_miss && i < count_;) {
    if (!std::isnan(samples[i])) {
      ++i;
      continue;
    }
    int64_t end = i;
    while (end + 1 < count_ && std::isnan(samples[end + 1])) ++end;
    missing_.emplace_back(i + 1, end + 1);
    missing_count_ += end - i + 1;
    i = end + 1;
  }
}

std::shared_ptr<const LevelSummary> LevelSummary::Build(const SampleArray& levelled) {
  return std::make_shared<const LevelSummary>(levelled);
}

std::shared_ptr<const LevelSummary> LevelSummary::Build(const SampleArray& levelled, Blocks bottom, bool may_miss) {
  return std::make_shared<const LevelSummary>(levelled, std::move(bottom), may_miss);
}

LevelExtent LevelSummary::Extent(const SampleArray& levelled, int64_t first, int64_t last) const {
  LevelExtent extent;
  first = std::max<int64_t>(first, 1);
  last = std::min(last, count_);
  if (first > last) return extent;
  double lo = kInfinity, hi = -kInfinity;
  // Items [begin, end) of the current level: samples first, then blocks. The
  // unaligned ends are taken one by one, the aligned middle one level up.
  int64_t begin = first - 1, end = last;
  const double* samples = levelled.data() + 1;
  for (int level = -1;; ++level) {
    const double* low = level < 0 ? samples : levels_[static_cast<std::size_t>(level)].low.data();
    const double* high = level < 0 ? samples : levels_[static_cast<std::size_t>(level)].high.data();
    const bool top = level + 1 >= static_cast<int>(levels_.size());
    if (top || end - begin < 2 * kFanout) {
      for (int64_t i = begin; i < end; ++i) Take(low[i], high[i], lo, hi);
      break;
    }
    for (; begin % kFanout != 0; ++begin) Take(low[begin], high[begin], lo, hi);
    for (; end % kFanout != 0; --end) Take(low[end - 1], high[end - 1], lo, hi);
    begin /= kFanout;
    end /= kFanout;
  }
  if (lo <= hi) extent = {lo, hi, false};
  return extent;
}

int64_t LevelSummary::NextMissing(int64_t first) const {
  first = std::max<int64_t>(first, 1);
  // The first run that ends at or after `first`.
  const auto run = std::lower_bound(missing_.begin(), missing_.end(), first,
                                    [](const std::pair<int64_t, int64_t>& r, int64_t i) { return r.second < i; });
  if (run == missing_.end()) return count_ + 1;
  return std::max(run->first, first);
}

int64_t LevelSummary::NextPresent(int64_t first) const {
  first = std::max<int64_t>(first, 1);
  const auto run = std::lower_bound(missing_.begin(), missing_.end(), first,
                                    [](const std::pair<int64_t, int64_t>& r, int64_t i) { return r.second < i; });
  if (run == missing_.end() || run->first > first) return std::min(first, count_ + 1);
  return std::min(run->second + 1, count_ + 1);
}

std::size_t LevelSummary::MemoryBytes() const {
  std::size_t bytes = sizeof *this + missing_.capacity() * sizeof missing_[0];
  for (const Level& level : levels_) bytes += (level.low.capacity() + level.high.capacity()) * sizeof(double);
  return bytes;
}

}  // namespace quillon
