#include "spectrum/spectrum_statistics.h"
#include "spectrum/wavelength_runs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace quillon {
namespace {

std::vector<double> Samples(const std::vector<double>& values) {
  std::vector<double> out{0.0};
  out.insert(out.end(), values.begin(), values.end());
  return out;
}

TEST(QuickSortRangeTest, SortsAscendingWhateverTheInput) {
  std::mt19937 gen(7);
  std::minstd_rand random(1);
  for (int size : {0, 1, 2, 3, 5, 17, 60, 1000, 20000}) {
    for (int distinct : {1, 2, 10, 1000000}) {
      std::vector<double> peaks(static_cast<std::size_t>(size) + 1, -1.0);
      std::uniform_int_distribution<int> value(0, distinct - 1);
      for (int i = 1; i <= size; ++i) peaks[static_cast<std::size_t>(i)] = value(gen) * 0.5;
      std::vector<double> expected(peaks.begin() + 1, peaks.end());
      std::sort(expected.begin(), expected.end());
      QuickSortRange(peaks, 1, size, random);
      EXPECT_EQ(peaks[0], -1.0) << "index 0 is not part of the range";
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), peaks.begin() + 1))
          << "size " << size << ", distinct " << distinct;
    }
  }
}

TEST(QuickSortRangeTest, SortsOnlyTheGivenRange) {
  std::vector<double> peaks{0, 9, 5, 3, 1, 0};
  std::minstd_rand random(3);
  QuickSortRange(peaks, 2, 4, random);
  EXPECT_EQ(peaks, (std::vector<double>{0, 9, 1, 3, 5, 0}));
}

TEST(SortedMedianTest, OddAndEvenCounts) {
  std::vector<double> odd{0, 5, 1, 3};
  EXPECT_EQ(SortedMedian(odd, 3), 3);
  std::vector<double> even{0, 8, 2, 6, 4};
  EXPECT_EQ(SortedMedian(even, 4), 5);
  std::vector<double> none{0};
  EXPECT_EQ(SortedMedian(none, 0), 0);
}

// Selection gives the sort's median for every count, with ties, runs of
// zeros (dark blocks) and the entry 0 that is not a maximum left alone.
TEST(SortedMedianTest, SelectionGivesTheSortedMedian) {
  std::mt19937 random(4);
  std::uniform_int_distribution<int> value(-3, 12);
  for (int64_t count = 0; count <= 61; ++count) {
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<double> peaks(static_cast<std::size_t>(count) + 1);
      peaks[0] = 1e9;
      for (int64_t i = 1; i <= count; ++i) peaks[static_cast<std::size_t>(i)] = trial % 4 == 0 ? 0 : value(random) * 0.5;
      std::vector<double> sorted = peaks;
      const double want = SortedMedian(sorted, count);
      ASSERT_EQ(SelectedMedian(peaks, count), want) << count << " " << trial;
      EXPECT_EQ(peaks[0], 1e9);
      std::sort(peaks.begin() + 1, peaks.end());
      EXPECT_EQ(peaks, sorted);  // the same maxima, only reordered
    }
  }
}

TEST(BlockPeakMedianTest, BlocksOfFifty) {
  // 100 samples: two blocks, the mean of their maxima.
  std::vector<double> s(101, 1.0);
  s[10] = 40;
  s[70] = 60;
  EXPECT_EQ(BlockPeakMedian(s, 100), 50);

  // 150 samples: the middle of three maxima.
  std::vector<double> t(151, 0.0);
  t[1] = 10;
  t[51] = 30;
  t[150] = 20;
  EXPECT_EQ(BlockPeakMedian(t, 150), 20);

  // 120 samples: three blocks, the last of 20 samples (101..120).
  std::vector<double> u(121, 1.0);
  u[5] = 100;
  u[60] = 300;
  u[101] = 200;
  std::vector<double> peaks;
  EXPECT_EQ(BlockPeakMedian(u, 120, peaks), 200);
  std::sort(peaks.begin() + 1, peaks.end());  // the selection leaves them unsorted
  EXPECT_EQ(peaks, (std::vector<double>{0, 100, 200, 300}));
}

TEST(BlockPeakMedianTest, NegativeBlocksPeakAtZero) {
  EXPECT_EQ(BlockPeakMedian(Samples(std::vector<double>(150, -5.0)), 150), 0);
  std::vector<double> mixed = Samples(std::vector<double>(100, -5.0));
  mixed[60] = 8;
  EXPECT_EQ(BlockPeakMedian(mixed, 100), 4);  // maxima 0 and 8
  EXPECT_EQ(BlockPeakMedian(Samples(std::vector<double>(3000, 200.0)), 3000), 200);
}

// Missing samples (NaN) take no part: a block keeps its place and takes the
// maximum of its present samples, and a block of missing samples only gives
// no maximum. Without missing samples both rules agree.
// The loader takes the block maxima piece by piece as it decodes: over
// pieces of whole blocks they are the maxima of the whole spectrum, missing
// samples, all-missing blocks, negative samples and a short last block
// included, and their median is the level.
TEST(BlockPeakMedianTest, MaximaTakenPieceByPieceAreThoseOfTheWholeSpectrum) {
  const double nan = std::nan("");
  std::mt19937 random(5);
  std::uniform_real_distribution<double> value(-50, 500);
  for (const int n : {1, 2, 49, 50, 51, 149, 199, 201, 3001, 6451}) {
    std::vector<double> samples(static_cast<std::size_t>(n) + 1, 0.0);
    for (int i = 1; i <= n; ++i) {
      const unsigned kind = random() % 10;
      samples[static_cast<std::size_t>(i)] = kind == 0 ? nan : kind == 1 ? -0.0 : value(random);
    }
    if (n >= 100) {
      for (int i = 51; i <= 100; ++i) samples[static_cast<std::size_t>(i)] = nan;  // a block all missing
    }
    if (n == 2) samples = {0, -3, -7};  // no positive sample: the maximum is 0
    std::vector<double> whole;
    const double level = BlockPeakMedianOfPresent(samples, n, whole);
    for (const int piece : {50, 100, 1000, 2000, 3200, 6400}) {
      SCOPED_TRACE(::testing::Message() << "n " << n << ", piece " << piece);
      std::vector<double> peaks = {0};
      for (int first = 1; first <= n; first += piece)
        AppendBlockPeaksOfPresent(samples.data() + first, std::min(piece, n - first + 1), peaks);
      std::vector<double> sorted_whole(whole.begin() + 1, whole.end());
      std::vector<double> sorted_pieces(peaks.begin() + 1, peaks.end());
      std::sort(sorted_whole.begin(), sorted_whole.end());
      std::sort(sorted_pieces.begin(), sorted_pieces.end());
      EXPECT_EQ(sorted_pieces, sorted_whole);
      EXPECT_EQ(SelectedMedian(peaks, static_cast<int64_t>(peaks.size()) - 1), level);
    }
  }
}

TEST(BlockPeakMedianTest, MissingSamplesAreLeftOut) {
  const double nan = std::nan("");
  std::mt19937 random(3);
  std::uniform_real_distribution<double> value(-50, 500);
  for (int n : {1, 49, 50, 51, 120, 3000}) {
    std::vector<double> samples(static_cast<std::size_t>(n) + 1, 0.0);
    for (int i = 1; i <= n; ++i) samples[static_cast<std::size_t>(i)] = value(random);
    std::vector<double> a, b;
    EXPECT_EQ(BlockPeakMedianOfPresent(samples, n, b), BlockPeakMedian(samples, n, a)) << n;
    EXPECT_EQ(a, b) << n;
  }
  std::vector<double> gaps(151, 10.0);
  gaps[7] = 400;                                      // block 1
  for (int i = 51; i <= 100; ++i) gaps[static_cast<std::size_t>(i)] = nan;  // block 2, all missing
  gaps[110] = nan;
  gaps[130] = 200;                                    // block 3
  std::vector<double> peaks;
  EXPECT_EQ(BlockPeakMedianOfPresent(gaps, 150, peaks), 300);
  EXPECT_EQ(peaks, (std::vector<double>{0, 200, 400}));
  std::vector<double> none(60, nan);
  EXPECT_EQ(BlockPeakMedianOfPresent(none, 59, peaks), 0);

  std::vector<double> levelled;
  const LevelledRange range = LevelSamples(gaps, 150, 200, levelled);
  EXPECT_EQ(range.min, 5);
  EXPECT_EQ(range.max, 200);
  EXPECT_TRUE(std::isnan(levelled[60]));
  EXPECT_EQ(FirstInfinite(levelled, 150), 0);
  EXPECT_EQ(FirstNonFinite(levelled, 150), 51);
}

// The levelled values are 100 x sample / level exactly as written, however
// the pieces and vector lanes fall; the range and the summary's bottom
// level taken on the way are those of the values.
TEST(LevelSamplesTest, ValuesRangeAndBlocksAreThoseOfTheFormula) {
  const double nan = std::nan("");
  std::mt19937 random(17);
  std::uniform_real_distribution<double> value(-1e4, 1e6);
  for (const int n : {1, 3, 15, 16, 17, 2047, 2048, 2049, 5003}) {
    for (const double norm : {987.654321, -3.0, 1e-300}) {
      SCOPED_TRACE(::testing::Message() << "n " << n << ", level " << norm);
      std::vector<double> samples(static_cast<std::size_t>(n) + 1, 0.0);
      for (int i = 1; i <= n; ++i) samples[static_cast<std::size_t>(i)] = random() % 13 == 0 ? nan : value(random);
      std::vector<double> levelled = {1, 2, 3};  // whatever it held before
      LevelSummary::Blocks blocks;
      blocks.Append(samples.data() + 1, 1);  // so is the bottom level
      const LevelledRange range = LevelSamples(samples, n, norm, levelled, blocks);
      ASSERT_EQ(levelled.size(), static_cast<std::size_t>(n) + 1);
      EXPECT_EQ(levelled[0], 0);
      double low = HUGE_VAL, high = -HUGE_VAL;
      for (int i = 1; i <= n; ++i) {
        const double want = 100 * samples[static_cast<std::size_t>(i)] / norm;
        const double got = levelled[static_cast<std::size_t>(i)];
        ASSERT_TRUE(got == want || (std::isnan(got) && std::isnan(want))) << i;
        if (!std::isnan(want)) {
          low = std::min(low, want);
          high = std::max(high, want);
        }
      }
      EXPECT_EQ(range.min, low);
      EXPECT_EQ(range.max, high);
      ASSERT_EQ(blocks.low.size(), static_cast<std::size_t>((n + 15) / 16));
      for (std::size_t b = 0; b < blocks.low.size(); ++b) {
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        for (std::size_t i = b * 16 + 1; i <= std::min<std::size_t>(b * 16 + 16, static_cast<std::size_t>(n)); ++i) {
          if (std::isnan(levelled[i])) continue;
          lo = std::min(lo, levelled[i]);
          hi = std::max(hi, levelled[i]);
        }
        if (lo > hi) {
          EXPECT_TRUE(std::isnan(blocks.low[b]) && std::isnan(blocks.high[b])) << b;
        } else {
          EXPECT_EQ(blocks.low[b], lo) << b;
          EXPECT_EQ(blocks.high[b], hi) << b;
        }
      }
    }
  }
}

TEST(WavelengthRunsTest, StretchesRunOneWay) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::vector<double> w;
    std::vector<int64_t> cuts;
    std::vector<SampleRun> runs;
  };
  const Case cases[] = {
      {{1, 2, 3, 4}, {}, {{1, 4}}},
      {{4, 3, 3, 1}, {}, {{1, 4}}},                   // red to blue, a repeated wavelength kept
      {{5, 5, 6, 2, 3}, {}, {{1, 3}, {4, 5}}},        // a jump back
      {{9, 8, 7, 8, 9}, {}, {{1, 3}, {4, 5}}},        // a turn
      {{1, nan, 3, 4, nan}, {}, {{1, 1}, {3, 4}}},    // no wavelength: in no stretch
      {{1, 2, 3, 4, 5, 6}, {3, 5}, {{1, 2}, {3, 4}, {5, 6}}},  // orders that must stand alone
      {{nan, nan}, {}, {}},
      {{1, 2, inf, 3, 4}, {}, {{1, 2}, {4, 5}}},  // nor an infinite one
      {std::vector<double>(200, 7.0), {}, {{1, 200}}},
  };
  for (const Case& c : cases) {
    SampleArray w{0};
    w.insert(w.end(), c.w.begin(), c.w.end());
    EXPECT_EQ(WavelengthRuns(w, static_cast<int64_t>(c.w.size()), c.cuts), c.runs) << ::testing::PrintToString(c.w);
  }
  // Long stretches, checked a block at a time: a jump back deep inside.
  SampleArray longer{0};
  for (int i = 0; i < 1000; ++i) longer.push_back(4000 + i - (i >= 701 ? 50 : 0));
  EXPECT_EQ(WavelengthRuns(longer, 1000), (std::vector<SampleRun>{{1, 701}, {702, 1000}}));
  // n beyond the samples held is cut to them.
  EXPECT_EQ(WavelengthRuns(SampleArray{0, 1, 2}, 10), (std::vector<SampleRun>{{1, 2}}));
}

}  // namespace
}  // namespace quillon
