#include "render/number_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace quillon {
namespace {

// ---- The reference list: every text must come out exactly -----------------

enum class Routine { kValue, kExponent };

struct FormatCase {
  Routine routine;
  double value;
  int16_t width;
  int16_t decimals;
  const char* expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << (c.routine == Routine::kValue ? "FormatValue(" : "FormatExponent(") << c.value << ", " << c.width
      << ", " << c.decimals << ") -> \"" << c.expected << "\"";
}

class FormatCaseTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatCaseTest, GivesTheExactText) {
  const FormatCase& c = GetParam();
  const std::string text = c.routine == Routine::kValue ? FormatValue(c.value, c.width, c.decimals)
                                                        : FormatExponent(c.value, c.width, c.decimals);
  EXPECT_EQ(text, c.expected);
}

constexpr FormatCase kFormatCases[] = {
    // Intensity axis labels: width 6, no decimals.
    {Routine::kValue, 100, 6, 0, "   100"},
    {Routine::kValue, -40, 6, 0, "   -40"},
    {Routine::kValue, 99999, 6, 0, " 99999"},
    {Routine::kValue, -99999, 6, 0, "-99999"},
    {Routine::kValue, 0, 6, 0, "     0"},
    {Routine::kValue, -0.3, 6, 0, "     0"},
    {Routine::kValue, 0.5, 6, 0, "     1"},
    {Routine::kValue, 123456, 6, 0, " 0D+06"},
    // Wavelength read-out: width 8, 2 decimals.
    {Routine::kValue, 6562.5, 8, 2, " 6562.50"},
    {Routine::kValue, 6562.125, 8, 2, " 6562.13"},
    {Routine::kValue, 12.5, 8, 2, "   12.50"},
    {Routine::kValue, -1234.5, 8, 2, "-1234.50"},
    {Routine::kValue, 1.999, 8, 2, "       2"},
    {Routine::kValue, -0.5, 8, 2, "    -0.5"},
    {Routine::kValue, 12345.678, 8, 2, " 12345.6"},
    {Routine::kValue, 123456789, 8, 2, " .12D+09"},
    // Intensity read-out: width 8, no decimals; halves go upwards.
    {Routine::kValue, 2.5, 8, 0, "       3"},
    {Routine::kValue, -2.5, 8, 0, "      -2"},
    // Padded decimals are not kept when a zero goes before the point.
    {Routine::kValue, 0.25, 8, 3, "    0.25"},
    // The exponent form on its own.
    {Routine::kExponent, 0.00123, 8, 2, " .12D-02"},
    {Routine::kExponent, 0, 8, 2, " .00D+00"},
    {Routine::kExponent, 0, 6, 0, " .D+00"},
    {Routine::kExponent, -123456789, 8, 2, "-.12D+09"},
    // Only magnitudes above 1E-16 get an exponent.
    {Routine::kExponent, 1E-16, 8, 2, " .00D+00"},
    {Routine::kExponent, -2.5E-150, 8, 2, " .00D+00"},
    {Routine::kExponent, 1.1E-16, 8, 2, " .11D-15"},
    {Routine::kExponent, 123456789, 8, 5, " .12D+09"},  // decimals above width - 6 are lowered
    // Three-digit exponents keep every digit; the text is longer than width.
    {Routine::kExponent, 1E200, 8, 2, " .10D+201"},
    {Routine::kValue, 1.2345E123, 8, 2, " .12D+124"},
    // More halves go upwards, also for negative values.
    {Routine::kValue, 0.125, 8, 2, "    0.13"},
    {Routine::kValue, -0.125, 8, 2, "   -0.12"},
    {Routine::kValue, -3.5, 6, 0, "    -3"},
    // A cut that would reach the exponent falls back to the "D" form.
    {Routine::kValue, 1.25E16, 8, 2, " .13D+17"},
    // A cut that would reach the whole part falls back too.
    {Routine::kValue, 12345678.999, 8, 2, " .12D+08"},
    {Routine::kValue, 1234567.8, 8, 2, "1234567."},
};

INSTANTIATE_TEST_SUITE_P(ReferenceList, FormatCaseTest, ::testing::ValuesIn(kFormatCases));

TEST(PlainDecimalTest, DoubleTexts) {
  const struct {
    double value;
    const char* expected;
  } cases[] = {
      {6562.5, " 6562.5"},
      {0.5, " .5"},
      {-0.5, "-.5"},
      {-0.25, "-.25"},
      {0, " 0"},
      {-0.0, " 0"},
      {2.0, " 2"},
      {0.00001, " 1E-05"},
      {0.0001, " .0001"},
      {1E15, " 1E+15"},
      {123456789012345, " 123456789012345"},
      {1.5E16, " 1.5E+16"},
      {-2.5E-07, "-2.5E-07"},
      {1E100, " 1E+100"},
      {0.1, " .1"},
      {1.0 / 3.0, " .333333333333333"},
      {2.0 / 3.0, " .666666666666667"},
      {999999999999999.9, " 1E+15"},  // rounding to 15 digits carries into the exponent
      {std::numeric_limits<double>::max(), " 1.79769313486232E+308"},
      {std::numeric_limits<double>::denorm_min(), " 4.94065645841247E-324"},
  };
  for (const auto& c : cases) EXPECT_EQ(PlainDecimal(c.value), c.expected) << c.value;
}

TEST(PlainDecimalTest, FloatTextsUseSevenDigits) {
  const struct {
    float value;
    const char* expected;
  } cases[] = {
      {0.1f, " .1"},  // as a double it would read " .100000001490116"
      {6562.5f, " 6562.5"},
      {1234567.0f, " 1234567"},
      {10000000.0f, " 1E+07"},
      {-0.00001f, "-1E-05"},
      {1.0f / 3.0f, " .3333333"},
  };
  for (const auto& c : cases) EXPECT_EQ(PlainDecimal(c.value), c.expected) << c.value;
  EXPECT_EQ(PlainDecimal(static_cast<double>(0.1f)), " .100000001490116");
}

TEST(PlainDecimalTest, NonFiniteValuesHaveAText) {
  EXPECT_EQ(PlainDecimal(std::numeric_limits<double>::quiet_NaN()), " NaN");
  EXPECT_EQ(PlainDecimal(std::numeric_limits<double>::infinity()), " Inf");
  EXPECT_EQ(PlainDecimal(-std::numeric_limits<double>::infinity()), "-Inf");
  EXPECT_EQ(FormatValue(std::numeric_limits<double>::quiet_NaN(), 8, 2), "     NaN");
  EXPECT_EQ(FormatValue(-std::numeric_limits<double>::infinity(), 6, 0), "  -Inf");
  EXPECT_EQ(FormatExponent(std::numeric_limits<double>::infinity(), 8, 2), "     Inf");
}

TEST(PadIntegerTest, FillsInFrontUpToTheWidth) {
  EXPECT_EQ(PadInteger(5, 2, "0"), "05");
  EXPECT_EQ(PadInteger(123, 2, "0"), "123");
  EXPECT_EQ(PadInteger(0, 2, "0"), "00");
  EXPECT_EQ(PadInteger(-5, 4, "0"), "00-5");
  EXPECT_EQ(PadInteger(7, 4, "ab"), "abab7");  // whole fills: may overshoot
  EXPECT_EQ(PadInteger(7, 5, ""), "7");          // an empty fill cannot loop forever
  EXPECT_EQ(PadInteger(7, -3, "0"), "7");
  EXPECT_EQ(PadInteger(1, 32767, "0").size(), 32767u);
}

// ---- Properties that catch real faults ---------------------------------

struct Field {
  int16_t width;
  int16_t decimals;
};
constexpr Field kCallerFields[] = {{6, 0}, {8, 2}, {8, 0}};

std::vector<double> SampleValues() {
  std::vector<double> values = {0,         0.004,     0.005,     0.3,      0.5,      0.995,     1,
                                1.005,     2.5,       9.995,     12.345,   99.5,     100,       999.995,
                                4861.333,  6562.817,  9999.999,  12345.67, 99999.4,  99999.5,   123456.7,
                                999999.9,  1234567.8, 9999999.9, 1E8,      12345678, 123456789, 1.5E12,
                                9.87E14,   1E15,      1.25E16,   3E20,     1E-3,     1.5E-5,    2E-10};
  const std::size_t n = values.size();
  for (std::size_t i = 0; i < n; ++i) values.push_back(-values[i]);
  return values;
}

bool IsExponentForm(const std::string& text) { return text.find('D') != std::string::npos; }

// Reads a label back: "  12.50", "-0.5", " .12D+09".
double ReadLabel(const std::string& text) {
  const std::size_t d = text.find('D');
  if (d == std::string::npos) return std::strtod(text.c_str(), nullptr);
  return std::strtod(text.substr(0, d).c_str(), nullptr) * std::pow(10.0, std::atoi(text.c_str() + d + 1));
}

TEST(FormatValueProperties, CallerFieldsAreExactlyWidthAndRightJustified) {
  for (const Field f : kCallerFields) {
    for (const double v : SampleValues()) {
      const std::string text = FormatValue(v, f.width, f.decimals);
      SCOPED_TRACE(std::to_string(v) + " in (" + std::to_string(f.width) + "," + std::to_string(f.decimals) +
                   "): \"" + text + "\"");
      ASSERT_EQ(text.size(), static_cast<std::size_t>(f.width));
      EXPECT_NE(text.back(), ' ');
      const std::size_t first = text.find_first_not_of(' ');
      EXPECT_EQ(text.find(' ', first), std::string::npos) << "blanks only in front";
    }
  }
}

TEST(FormatValueProperties, LabelsReadBackAsTheValue) {
  // A label may round (halves upwards), cut surplus decimals or switch to the
  // "D" form, but it must never show a different number.
  for (const Field f : kCallerFields) {
    for (const double v : SampleValues()) {
      const std::string text = FormatValue(v, f.width, f.decimals);
      SCOPED_TRACE(std::to_string(v) + " in (" + std::to_string(f.width) + "," + std::to_string(f.decimals) +
                   "): \"" + text + "\"");
      const double shown = ReadLabel(text);
      if (IsExponentForm(text)) {
        if (f.width - 6 < 2) continue;  // no mantissa decimals: it reads 0 or 1
        EXPECT_LE(std::fabs(shown - v), 0.05 * std::fabs(v));
      } else {
        // Rounding costs half a unit of the last decimal, a cut up to one unit
        // of the last decimal kept.
        const std::size_t point = text.find('.');
        const int kept = point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
        EXPECT_LE(std::fabs(shown - v), std::pow(10.0, -std::min<int>(kept, f.decimals)) + 1E-9 * std::fabs(v));
      }
    }
  }
}

TEST(FormatValueProperties, SurplusDecimalsAreCutNotRounded) {
  // " 12345.68" has one character too many: the last decimal goes, the 8
  // before it is not rounded up.
  EXPECT_EQ(FormatValue(12345.678, 8, 2), " 12345.6");
  EXPECT_EQ(FormatValue(-12345.678, 8, 2), "-12345.6");
  EXPECT_EQ(FormatValue(99999.99, 8, 2), " 99999.9");
}

TEST(FormatValueProperties, DecimalsArePaddedWhenTheTextHasFewer) {
  EXPECT_EQ(FormatValue(7, 8, 2), "    7.00");
  EXPECT_EQ(FormatValue(-7.1, 8, 2), "   -7.10");
  EXPECT_EQ(FormatValue(6500, 8, 2), " 6500.00");
}

TEST(FormatValueProperties, TooWideFallsBackToTheDForm) {
  for (const double v : {1E8, 5.5E9, 1E12, -3.3E10}) {
    const std::string text = FormatValue(v, 8, 2);
    EXPECT_TRUE(IsExponentForm(text)) << v << " -> " << text;
    EXPECT_EQ(text.size(), 8u);
  }
  EXPECT_EQ(FormatValue(-123456, 6, 0), " 0D+06");  // no decimals: the mantissa rounds to 0
  EXPECT_EQ(FormatValue(100000000, 8, 0), " .10D+09");
}

TEST(FormatValueProperties, NarrowFieldsNeverRecurse) {
  // Below width 6 the exponent form has no room; every combination, also the
  // extremes of the 16-bit range, must come back with a text.
  const double values[] = {0,
                           1,
                           -1,
                           0.5,
                           123456789,
                           -123456789,
                           1E-300,
                           std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()};
  const int16_t sizes[] = {-32768, -7, -1, 0, 1, 2, 3, 5, 6, 8, 400, 32767};
  for (const double v : values) {
    for (const int16_t w : sizes) {
      for (const int16_t d : sizes) {
        const std::string value_text = FormatValue(v, w, d);
        const std::string exponent_text = FormatExponent(v, w, d);
        if (w > 0) {
          EXPECT_GE(value_text.size(), std::min<std::size_t>(static_cast<std::size_t>(w), value_text.size()));
          EXPECT_GE(exponent_text.size(), static_cast<std::size_t>(w)) << v << " " << w << " " << d;
        }
        EXPECT_FALSE(exponent_text.empty());
      }
    }
  }
  EXPECT_EQ(FormatValue(123456, 4, 0), " 123456");  // kept whole rather than cut
  EXPECT_EQ(FormatExponent(123456, 4, 0), " 0D+06");
}

TEST(FormatValueProperties, LargestValuesKeepTheirMagnitude) {
  // The rounded text of the largest double lies just above the double range.
  EXPECT_EQ(FormatValue(std::numeric_limits<double>::max(), 8, 2), " .18D+309");
  EXPECT_EQ(FormatValue(-std::numeric_limits<double>::max(), 8, 0), "-.18D+309");
}

}  // namespace
}  // namespace quillon
