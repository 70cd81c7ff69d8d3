#include "fits/sample_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "support/fits_writer.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

struct PatternCase {
  int bitpix;
  double bzero;
  std::vector<unsigned char> bytes;
  double value;
};

class SamplePatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(SamplePatternTest, FastAndLiteralRulesGiveTheValue) {
  const PatternCase& c = GetParam();
  std::vector<double> out;
  const int64_t missing = DecodeSamples(c.bytes.data(), 1, c.bitpix, c.bzero, out);
  ASSERT_EQ(out.size(), 2u);
  if (std::isnan(c.value)) {
    EXPECT_TRUE(std::isnan(out[1]));
    EXPECT_TRUE(std::isnan(DecodeSampleLiteral(c.bytes.data(), c.bitpix, c.bzero)));
    EXPECT_EQ(missing, 1);
    return;
  }
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(out[1], c.value);
  EXPECT_EQ(DecodeSampleLiteral(c.bytes.data(), c.bitpix, c.bzero), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, SamplePatternTest,
    ::testing::ValuesIn(std::vector<PatternCase>{
        // 16-bit: the signed sample plus BZERO (before, unsigned without BZERO
        // and plus 32768 whatever BZERO was).
        {16, 0, {0xFF, 0xFF}, -1},
        {16, 0, {0x00, 0x01}, 1},
        {16, 0.000009, {0x80, 0x00}, -32768 + 0.000009},
        {16, 32768, {0x80, 0x00}, 0},
        {16, 32768, {0x00, 0x00}, 32768},
        {16, 32768, {0x7F, 0xFF}, 65535},
        {16, 1000, {0x80, 0x00}, -31768},
        {16, 1000, {0x7F, 0xFF}, 33767},
        {16, -0.00001, {0xFF, 0xFF}, -1.00001},
        // 32-bit: signed, plus BZERO; 2^31 is the unsigned convention.
        {32, 0, {0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {32, 0, {0x00, 0x00, 0x01, 0x00}, 256},
        {32, 2147483648.0, {0x80, 0x00, 0x00, 0x00}, 0},
        {32, 2147483648.0, {0x7F, 0xFF, 0xFF, 0xFF}, 4294967295.0},
        // Single precision; exponent 255 (infinities, NaN) is a missing sample.
        {-32, 0, {0x3F, 0x80, 0x00, 0x00}, 1},
        {-32, 0, {0xC0, 0x00, 0x00, 0x00}, -2},
        {-32, 0, {0x00, 0x00, 0x00, 0x01}, std::ldexp(1.0, -149)},
        {-32, 0, {0x7F, 0x80, 0x00, 0x00}, std::nan("")},
        {-32, 0, {0xFF, 0xC0, 0x00, 0x00}, std::nan("")},
        {-32, 0, {0x7F, 0x7F, 0xFF, 0xFF}, 3.4028234663852886e38},
        // Double precision.
        {-64, 0, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}, 1},
        {-64, 0, {0xC0, 0x00, 0, 0, 0, 0, 0, 0}, -2},
        {-64, 0, {0x00, 0x00, 0, 0, 0, 0, 0, 0x01}, std::ldexp(1.0, -1074)},
        {-64, 0, {0x3F, 0xB9, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9A}, 0.1},
        {-64, 0, {0x7F, 0xF0, 0, 0, 0, 0, 0, 0}, std::nan("")},
        {-64, 0, {0xFF, 0xF8, 0, 0, 0, 0, 0, 0}, std::nan("")},
    }));

// The fast path must equal the arithmetic rule on every bit pattern.
TEST(SampleDecoderTest, FastPathEqualsLiteralRuleOnRandomPatterns) {
  std::mt19937_64 gen(42);
  for (int bitpix : {16, 32, -32, -64}) {
    for (double bzero : {0.0, 32768.0}) {
      const int width = BytesPerSample(bitpix);
      std::vector<unsigned char> bytes(static_cast<std::size_t>(20000 * width));
      for (auto& b : bytes) b = static_cast<unsigned char>(gen());
      // Make sure the special exponents and zero exponents appear.
      bytes[0] = 0x7F; bytes[1] = 0xFF;
      bytes[static_cast<std::size_t>(width)] = 0x80; bytes[static_cast<std::size_t>(width) + 1] = 0x00;
      std::vector<double> out;
      DecodeSamples(bytes.data(), 20000, bitpix, bzero, out);
      for (int i = 0; i < 20000; ++i) {
        const double literal = DecodeSampleLiteral(&bytes[static_cast<std::size_t>(i * width)], bitpix, bzero);
        ASSERT_TRUE(out[static_cast<std::size_t>(i) + 1] == literal ||
                    (std::isnan(literal) && std::isnan(out[static_cast<std::size_t>(i) + 1])))
            << "BITPIX " << bitpix << " sample " << i;
        if (!std::isnan(literal)) {
          ASSERT_EQ(std::signbit(out[static_cast<std::size_t>(i) + 1]), std::signbit(literal));
        }
      }
    }
  }
}

// The same with BSCALE and BLANK, the missing count included, over runs of
// every length up to a few vector widths and at every offset, so that each
// lane and the scalar tail of the vector loops are checked.
TEST(SampleDecoderTest, ScaledAndBlankSamplesEqualTheLiteralRuleInEveryLane) {
  std::mt19937_64 gen(7);
  struct Scaling {
    double bscale, bzero;
    bool blank;
  };
  for (int bitpix : {16, 32, -32, -64}) {
    for (const Scaling sc : {Scaling{1, 0, false}, Scaling{0.0147, 680.5, false}, Scaling{-2.5, 1e6, true},
                             Scaling{1, 32768, true}}) {
      SCOPED_TRACE(::testing::Message() << "BITPIX " << bitpix << ", BSCALE " << sc.bscale);
      const int width = BytesPerSample(bitpix);
      std::vector<unsigned char> bytes(static_cast<std::size_t>(200 * width));
      for (auto& b : bytes) b = static_cast<unsigned char>(gen());
      // Infinities, quiet and signalling NaNs with payloads, both signs.
      for (int i = 0; i < 200; i += 7) {
        unsigned char* p = &bytes[static_cast<std::size_t>(i * width)];
        if (bitpix == -32) {
          p[0] = (i % 2) ? 0xFF : 0x7F;
          p[1] = static_cast<unsigned char>(0x80 | (i % 3 == 0 ? 0 : p[1]));
        } else if (bitpix == -64) {
          p[0] = (i % 2) ? 0xFF : 0x7F;
          p[1] = static_cast<unsigned char>(0xF0 | (i % 3 == 0 ? 0 : p[1]));
        }
      }
      SampleScaling scaling{sc.bscale, sc.bzero, std::nullopt};
      if (sc.blank && bitpix > 0) {
        const unsigned char* third = &bytes[3 * static_cast<std::size_t>(width)];
        scaling.blank = static_cast<int64_t>(DecodeSampleLiteral(third, bitpix, 0.0));
        for (int i = 11; i < 200; i += 13) std::copy_n(third, width, &bytes[static_cast<std::size_t>(i * width)]);
      }
      for (int offset = 0; offset < 9; ++offset) {
        for (int count = 0; count + offset <= 200; count += 1 + count / 8) {
          const unsigned char* p = &bytes[static_cast<std::size_t>(offset * width)];
          std::vector<double> out(static_cast<std::size_t>(count) + 1, -7.0);
          const int64_t missing = DecodeSamplesInto(p, count, bitpix, scaling, out.data());
          int64_t want_missing = 0;
          for (int i = 0; i < count; ++i) {
            const double literal = DecodeSampleLiteral(p + i * width, bitpix, scaling);
            const double got = out[static_cast<std::size_t>(i)];
            want_missing += std::isnan(literal);
            ASSERT_TRUE(got == literal || (std::isnan(literal) && std::isnan(got))) << offset << "+" << i;
          }
          EXPECT_EQ(missing, want_missing);
          EXPECT_EQ(out[static_cast<std::size_t>(count)], -7.0);  // nothing written past the run
        }
      }
    }
  }
}

TEST(SampleDecoderTest, ByteByByteReadingMatchesBlockDecoding) {
  testing::TempDir dir;
  std::mt19937_64 gen(5);
  for (int bitpix : {16, 32, -32, -64}) {
    const int width = BytesPerSample(bitpix);
    std::string file(100, 'x');  // stands for a header of 100 bytes
    std::string data(static_cast<std::size_t>(300 * width), '\0');
    for (char& c : data) c = static_cast<char>(gen());
    file += data;
    const auto path = dir / ("samples" + std::to_string(bitpix));
    testing::WriteBytes(path, file);
    std::vector<double> slow, fast;
    ASSERT_TRUE(ReadSamplesByteByByte(path.string(), 100, 300, bitpix, 0, slow));
    DecodeSamples(reinterpret_cast<const unsigned char*>(data.data()), 300, bitpix, 0, fast);
    ASSERT_EQ(slow.size(), fast.size());
    for (std::size_t i = 0; i < slow.size(); ++i)
      ASSERT_TRUE(slow[i] == fast[i] || (std::isnan(slow[i]) && std::isnan(fast[i]))) << "BITPIX " << bitpix << " " << i;
  }
  std::vector<double> out;
  EXPECT_FALSE(ReadSamplesByteByByte((dir / "samples16").string(), 100, 301, 16, 0, out)) << "past the end";
  EXPECT_FALSE(ReadSamplesByteByByte((dir / "missing").string(), 0, 1, 16, 0, out));
}

TEST(SampleDecoderTest, WidthsOfSupportedBitpix) {
  EXPECT_EQ(BytesPerSample(16), 2);
  EXPECT_EQ(BytesPerSample(32), 4);
  EXPECT_EQ(BytesPerSample(-32), 4);
  EXPECT_EQ(BytesPerSample(-64), 8);
  EXPECT_EQ(BytesPerSample(8), 0);
  EXPECT_EQ(BytesPerSample(64), 0);
  EXPECT_EQ(BytesPerSample(-16), 0);
}

}  // namespace
}  // namespace quillon
