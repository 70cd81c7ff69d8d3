#include "fits/spectrum_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
}  // namespace quillon
