#include "spectrum/level_summary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace quillon {
namespace {

const double kMissing = std::numeric_limits<double>::quiet_NaN();

// Samples 1..n with entry 0 unused; every `gap_every`-th stretch of
// `gap_length` samples missing.
SampleArray Samples(int64_t n, int64_t gap_every, int64_t gap_length, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> level(-50, 150);
  SampleArray values(static_cast<std::size_t>(n) + 1, 0.0);
  for (int64_t i = 1; i <= n; ++i) {
    const bool missing = gap_every > 0 && (i % gap_every) < gap_length;
    values[static_cast<std::size_t>(i)] = missing ? kMissing : level(random);
  }
  return values;
}

LevelExtent BruteExtent(const SampleArray& v, int64_t a, int64_t b) {
  LevelExtent e;
  for (int64_t i = std::max<int64_t>(a, 1); i <= std::min<int64_t>(b, static_cast<int64_t>(v.size()) - 1); ++i) {
    const double x = v[static_cast<std::size_t>(i)];
    if (std::isnan(x)) continue;
    if (e.empty) e = {x, x, false};
    e.low = std::min(e.low, x);
    e.high = std::max(e.high, x);
  }
  return e;
}

struct SummaryCase {
  const char* name;
  int64_t n, gap_every, gap_length;
};

class LevelSummaryTest : public ::testing::TestWithParam<SummaryCase> {};

// Every range query against a plain scan: short ranges inside one block,
// ranges across block edges at several levels, the whole array, ranges
// reaching past either end.
TEST_P(LevelSummaryTest, ExtentIsThePlainMinimumAndMaximumOfThePresentSamples) {
  const SummaryCase& c = GetParam();
  const SampleArray v = Samples(c.n, c.gap_every, c.gap_length, 5);
  const LevelSummary summary(v);
  ASSERT_EQ(summary.Count(), c.n);
  std::mt19937 random(9);
  std::uniform_int_distribution<int64_t> index(-3, c.n + 3);
  std::uniform_int_distribution<int64_t> length(0, 40);
  for (int k = 0; k < 3000; ++k) {
    int64_t a = index(random);
    int64_t b = k % 3 == 0 ? a + length(random) : index(random);
    if (k == 0) a = 1, b = c.n;
    if (a > b) std::swap(a, b);
    const LevelExtent want = BruteExtent(v, a, b);
    const LevelExtent got = summary.Extent(v, a, b);
    ASSERT_EQ(got.empty, want.empty) << a << ".." << b;
    if (want.empty) continue;
    ASSERT_EQ(got.low, want.low) << a << ".." << b;
    ASSERT_EQ(got.high, want.high) << a << ".." << b;
  }
}

TEST_P(LevelSummaryTest, NextMissingAndNextPresentFollowTheGaps) {
  const SummaryCase& c = GetParam();
  const SampleArray v = Samples(c.n, c.gap_every, c.gap_length, 6);
  const LevelSummary summary(v);
  int64_t missing = 0;
  // Walking down, the answers for i follow from those for i + 1.
  int64_t next_missing = c.n + 1, next_present = c.n + 1;
  for (int64_t i = c.n + 1; i >= 1; --i) {
    if (i <= c.n && std::isnan(v[static_cast<std::size_t>(i)])) {
      next_missing = i;
      ++missing;
    } else if (i <= c.n) {
      next_present = i;
    }
    ASSERT_EQ(summary.NextMissing(i), next_missing) << i;
    ASSERT_EQ(summary.NextPresent(i), next_present) << i;
  }
  EXPECT_EQ(summary.MissingCount(), missing);
  EXPECT_EQ(summary.NextPresent(-5), summary.NextPresent(1));
}

const SummaryCase kSummaryCases[] = {
    {"OneSample", 1, 0, 0},
    {"WithinOneBlock", 15, 0, 0},
    {"ThreeLevels", 5000, 0, 0},
    {"LongNoGaps", 70001, 0, 0},
    {"ShortGaps", 70001, 997, 3},
    {"LongGapsAcrossBlocks", 70001, 20000, 4500},
    {"EveryOtherMissing", 3001, 2, 1},
};

INSTANTIATE_TEST_SUITE_P(Spectra, LevelSummaryTest, ::testing::ValuesIn(kSummaryCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LevelSummaryTest, AllMissingGivesEmptyExtentsAndNoPresentSample) {
  SampleArray v(101, kMissing);
  v[0] = 0;
  const LevelSummary summary(v);
  EXPECT_TRUE(summary.Extent(v, 1, 100).empty);
  EXPECT_EQ(summary.NextPresent(1), 101);
  EXPECT_EQ(summary.NextMissing(1), 1);
  EXPECT_EQ(summary.MissingCount(), 100);
}

// Whether there are runs to look for at all is found on the way through the
// bottom level: a lone missing sample is found wherever it lies (a whole
// block, the short last block, a one-sample spectrum), and infinities are
// not missing.
TEST(LevelSummaryTest, ALoneMissingSampleIsFoundAndInfinitiesAreNotMissing) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    int64_t n;
    std::vector<int64_t> missing, infinite;
  };
  const Case cases[] = {
      {1, {1}, {}},   {1, {}, {1}},        {2, {2}, {}},      {17, {17}, {}},     {33, {20}, {}},
      {5000, {4993}, {}}, {5000, {4999}, {7}}, {5000, {}, {3, 4000}}, {70001, {70001}, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "n " << c.n << ", missing " << c.missing.size());
    SampleArray v = Samples(c.n, 0, 0, 3);
    for (const int64_t i : c.missing) v[static_cast<std::size_t>(i)] = kMissing;
    for (const int64_t i : c.infinite) v[static_cast<std::size_t>(i)] = -inf;
    const LevelSummary summary(v);
    EXPECT_EQ(summary.MissingCount(), static_cast<int64_t>(c.missing.size()));
    const int64_t first_missing = c.missing.empty() ? c.n + 1 : c.missing.front();
    EXPECT_EQ(summary.NextMissing(1), first_missing);
  }
}

// The loader makes the bottom level a piece at a time while it levels; a
// summary from those blocks answers every query as one made from the whole
// array, and the running bounds are the samples' own. Pieces of one block,
// of a group of four and of odd numbers of blocks; blocks all missing,
// infinities, a short last block.
TEST(LevelSummaryTest, BottomLevelMadeInPiecesGivesTheSameSummary) {
  const double inf = std::numeric_limits<double>::infinity();
  for (const int64_t n : {1, 2, 16, 17, 64, 65, 1000, 4099, 70001}) {
    SampleArray v = Samples(n, n > 100 ? 97 : 0, 20, 11);
    if (n >= 1000) {
      for (int64_t i = 65; i <= 128; ++i) v[static_cast<std::size_t>(i)] = kMissing;  // a group of four, missing
      v[300] = inf;
      v[n] = -inf;
    }
    for (const int64_t piece : {16, 64, 80, 2048}) {
      SCOPED_TRACE(::testing::Message() << "n " << n << ", piece " << piece);
      LevelSummary::Blocks blocks;
      EXPECT_TRUE(blocks.Reserve(n) || n < 16384);
      for (int64_t first = 1; first <= n; first += piece)
        blocks.Append(v.data() + first, std::min(piece, n - first + 1));
      const LevelExtent all = BruteExtent(v, 1, n);
      EXPECT_EQ(blocks.lowest, all.empty ? inf : all.low);
      EXPECT_EQ(blocks.highest, all.empty ? -inf : all.high);
      const bool may_miss = std::any_of(v.begin() + 1, v.end(), [](double x) { return std::isnan(x); });
      const LevelSummary pieces(v, std::move(blocks), may_miss);
      const LevelSummary whole(v);
      EXPECT_EQ(pieces.MissingCount(), whole.MissingCount());
      std::mt19937 random(static_cast<unsigned>(n));
      std::uniform_int_distribution<int64_t> index(1, n);
      for (int k = 0; k < 300; ++k) {
        int64_t a = index(random), b = index(random);
        if (a > b) std::swap(a, b);
        const LevelExtent got = pieces.Extent(v, a, b), want = BruteExtent(v, a, b);
        ASSERT_EQ(got.empty, want.empty) << a << ".." << b;
        if (!want.empty) {
          ASSERT_EQ(got.low, want.low) << a << ".." << b;
          ASSERT_EQ(got.high, want.high) << a << ".." << b;
        }
        ASSERT_EQ(pieces.NextMissing(a), whole.NextMissing(a));
        ASSERT_EQ(pieces.NextPresent(a), whole.NextPresent(a));
      }
    }
  }
}

TEST(LevelSummaryTest, DescribesOnlyTheArrayItWasBuiltFrom) {
  SampleArray v = Samples(1000, 0, 0, 1);
  const auto summary = LevelSummary::Build(v);
  EXPECT_TRUE(summary->Describes(v));
  SampleArray moved = std::move(v);
  EXPECT_TRUE(summary->Describes(moved));  // the buffer moves with the array
  SampleArray other = Samples(1000, 0, 0, 1);
  EXPECT_FALSE(summary->Describes(other));
  moved.push_back(1);
  EXPECT_FALSE(summary->Describes(moved));
}

TEST(LevelSummaryTest, HoldsAboutOneBytePerSample) {
  const SampleArray v = Samples(1'000'000, 0, 0, 2);
  const LevelSummary summary(v);
  EXPECT_LT(summary.MemoryBytes(), 1'100'000u);
}

}  // namespace
}  // namespace quillon
