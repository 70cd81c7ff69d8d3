#pragma once
// LevelSummary: a min/max pyramid over a slot's levelled samples, so that
// the lowest and highest level of any run of samples comes out in a few
// dozen steps instead of one per sample. The renderer asks it for the
// vertical extent of each pixel column where many samples meet. Missing
// samples (NaN) are left out of every extent, and their runs are kept so
// that a caller can split a range where the staircase breaks.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>


namespace quillon {

/// Samples 1..n of a spectrum; entry 0 belongs to no sample.
using SampleArray = std::vector<double>;

/// Lowest and highest present level of a run of samples; empty when every
/// sample of the run is missing.
struct LevelExtent {
  double low = 0;
  double high = 0;
  bool empty = true;
};

class LevelSummary {
 public:
  /// Samples per block at the bottom level, and blocks per block above it.
  static constexpr int64_t kFanout = 16;

  /// The bottom level: the lowest and highest present value of each run of
  /// kFanout samples, NaN for a run whose samples are all missing. The
  /// loader makes it a piece at a time while the levelled values it has just
  /// computed are in the cache.
  struct Blocks {
    std::vector<double> low, high;
    /// Lowest and highest present value of all samples appended so far;
    /// +inf and -inf while none is present.
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -std::numeric_limits<double>::infinity();

    /// Empties the blocks and makes room for those of `count` samples,
    /// without touching it; returns whether the room is new storage.
    bool Reserve(int64_t count);
    /// Appends the blocks of values[0..count-1]. Every piece but the last
    /// must hold a whole number of blocks.
    void Append(const double* values, int64_t count);
  };

  /// Summarises levelled[1..size-1] (entry 0 is not a sample); NaN samples
  /// are missing. Throws std::bad_alloc like any allocation.
  explicit LevelSummary(const SampleArray& levelled);

  /// The same from the bottom level already made from levelled[1..]; with
  /// `may_miss` false the caller knows that no sample is NaN, and the
  /// samples are not looked at again.
  LevelSummary(const SampleArray& levelled, Blocks bottom, bool may_miss);

  /// A shared summary of `levelled`, as a spectrum keeps it.
  static std::shared_ptr<const LevelSummary> Build(const SampleArray& levelled);
  static std::shared_ptr<const LevelSummary> Build(const SampleArray& levelled, Blocks bottom, bool may_miss);

  /// Whether this summary was built from `levelled` as it is now held: the
  /// same buffer and the same count. A new buffer may reuse a freed one's
  /// address, so a spectrum's summary is built with its levelled samples
  /// and never outlives them.
  bool Describes(const SampleArray& levelled) const {
    return levelled.data() == source_ && static_cast<int64_t>(levelled.size()) - 1 == count_;
  }

  /// Number of samples summarised.
  int64_t Count() const { return count_; }

  /// Lowest and highest present level among samples first..last (1-based,
  /// inclusive, clamped to 1..Count()) of `levelled`, the array the summary
  /// was built from.
  LevelExtent Extent(const SampleArray& levelled, int64_t first, int64_t last) const;

  /// The first missing sample at or after `first`, Count() + 1 when none.
  int64_t NextMissing(int64_t first) const;
  /// The first present sample at or after `first`, Count() + 1 when none.
  int64_t NextPresent(int64_t first) const;
  /// Number of missing samples.
  int64_t MissingCount() const { return missing_count_; }

  /// Bytes held by the summary (about one per sample).
  std::size_t MemoryBytes() const;

 private:
  struct Level {
    std::vector<double> low, high;  // NaN where a block holds no present sample
  };

  static Blocks BottomOf(const SampleArray& levelled);

  const double* source_;
  int64_t count_;
  std::vector<Level> levels_;
  // Runs of missing samples, [first, last] 1-based, in order.
  std::vector<std::pair<int64_t, int64_t>> missing_;
  int64_t missing_count_ = 0;
};

}  // namespace quillon
