#include "plot/level_summary.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "shell/large_buffer.h"

namespace quillon {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Comparisons with NaN are false, so a missing sample or an empty block
// changes neither bound.
inline void Take(double low, double high, double& lo, double& hi) {
  lo = low < lo ? low : lo;
  hi = high > hi ? high : hi;
}

}  // namespace

LevelSummary::LevelSummary(const SampleArray& levelled)
    : source_(levelled.data()), count_(levelled.empty() ? 0 : static_cast<int64_t>(levelled.size()) - 1) {
  const double* samples = levelled.data() + 1;
  // Whether any sample may be missing, found on the way through the bottom
  // level: x - x is 0 for a finite sample and NaN otherwise, so the sum is
  // NaN once a NaN (or an infinity) has passed. Most spectra miss nothing,
  // and then no run is looked for.
  double probe = 0;
  // Bottom level from the samples, then each level from the one below, until
  // one block is left.
  int64_t below = count_;
  const double* below_low = samples;
  const double* below_high = samples;
  while (below > 1) {
    const int64_t blocks = (below + kFanout - 1) / kFanout;
    const bool bottom = levels_.empty();
    Level level;
    ResizeLarge(level.low, static_cast<std::size_t>(blocks));
    ResizeLarge(level.high, static_cast<std::size_t>(blocks));
    for (int64_t b = 0; b < blocks; ++b) {
      double lo = kInfinity, hi = -kInfinity;
      const int64_t begin = b * kFanout;
      if (begin + kFanout <= below) {
        // A whole block in four lanes of fixed count, which the compiler
        // turns into vector minimum and maximum (the same NaN-skipping
        // selects); the bottom level reads each sample once.
        constexpr int kLanes = 4;
        double lane_lo[kLanes], lane_hi[kLanes];
        for (int k = 0; k < kLanes; ++k) {
          lane_lo[k] = kInfinity;
          lane_hi[k] = -kInfinity;
        }
        const double* low = below_low + begin;
        const double* high = below_high + begin;
        double lane_probe[kLanes] = {};
        for (int64_t i = 0; i < kFanout; i += kLanes) {
          for (int k = 0; k < kLanes; ++k) {
            lane_lo[k] = low[i + k] < lane_lo[k] ? low[i + k] : lane_lo[k];
            lane_hi[k] = high[i + k] > lane_hi[k] ? high[i + k] : lane_hi[k];
            lane_probe[k] += low[i + k] - low[i + k];
          }
        }
        for (int k = 0; k < kLanes; ++k) Take(lane_lo[k], lane_hi[k], lo, hi);
        if (bottom) probe += (lane_probe[0] + lane_probe[1]) + (lane_probe[2] + lane_probe[3]);
      } else {
        for (int64_t i = begin; i < below; ++i) {
          Take(below_low[i], below_high[i], lo, hi);
          if (bottom) probe += below_low[i] - below_low[i];
        }
      }
      const bool any = lo <= hi;
      level.low[static_cast<std::size_t>(b)] = any ? lo : std::nan("");
      level.high[static_cast<std::size_t>(b)] = any ? hi : std::nan("");
    }
    levels_.push_back(std::move(level));
    below = blocks;
    below_low = levels_.back().low.data();
    below_high = levels_.back().high.data();
  }
  // A single sample makes no level.
  if (count_ == 1) probe = samples[0] - samples[0];

  for (int64_t i = 0; std::isnan(probe) && i < count_;) {
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
