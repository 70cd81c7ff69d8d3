#include "render/number_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <system_error>

namespace quillon {

namespace {

// Texts of the values that have no decimal form. They never reach the drawing
// coordinates; they only keep a label honest when a caller hands one over.
std::string NonFiniteText(double value) {
  if (std::isnan(value)) return " NaN";
  return value < 0 ? "-Inf" : " Inf";
}

// The decimal text of a finite, non-zero value rounded to `digits` significant
// digits. to_chars is correctly rounded and ignores the C locale, which Qt sets
// from the environment (a "," decimal point would break every label).
std::string PlainDecimalDigits(double value, int digits) {
  if (!std::isfinite(value)) return NonFiniteText(value);
  if (value == 0) return " 0";  // also -0: zero takes the blank

  std::array<char, 64> buffer{};
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::fabs(value),
                                       std::chars_format::scientific, digits - 1);
  if (ec != std::errc()) return NonFiniteText(std::nan(""));  // cannot happen: the buffer is ample
  const std::string_view scientific(buffer.data(), static_cast<std::size_t>(end - buffer.data()));

  // "d.ddddde+XX": the significant digits without the point, and the exponent.
  const std::size_t e_pos = scientific.find('e');
  std::string mantissa;
  for (char c : scientific.substr(0, e_pos)) {
    if (c != '.') mantissa.push_back(c);
  }
  const int exponent = std::atoi(std::string(scientific.substr(e_pos + 1)).c_str());
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();

  std::string text(1, value < 0 ? '-' : ' ');
  if (exponent < -4 || exponent >= digits) {
    text += mantissa[0];
    if (mantissa.size() > 1) {
      text += '.';
      text.append(mantissa, 1);
    }
    text += 'E';
    text += exponent < 0 ? '-' : '+';
    const std::string exponent_digits = std::to_string(std::abs(exponent));
    if (exponent_digits.size() < 2) text += '0';
    text += exponent_digits;
  } else if (exponent >= 0) {
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (mantissa.size() <= whole) {
      text += mantissa;
      text.append(whole - mantissa.size(), '0');
    } else {
      text.append(mantissa, 0, whole);
      text += '.';
      text.append(mantissa, whole);
    }
  } else {
    // Magnitudes below 1 have no digit before the point: " .5", "-.25".
    text += '.';
    text.append(static_cast<std::size_t>(-exponent - 1), '0');
    text += mantissa;
  }
  return text;
}

std::string WithoutLeadingBlank(std::string text) {
  if (!text.empty() && text.front() == ' ') text.erase(0, 1);
  return text;
}

// The numeric value a text reads as: optional blanks, an optional sign, digits
// with at most one point, an optional "E" exponent; reading stops at the first
// character that does not fit ("12." reads as 12, "1E-05.00" as 0.00001).
double ReadValue(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string number;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-') number += '-';
    ++i;
  }
  bool any_digit = false;
  bool point_seen = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      number += c;
      any_digit = true;
    } else if (c == '.' && !point_seen) {
      number += c;
      point_seen = true;
    } else {
      break;
    }
  }
  if (!any_digit) return 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < text.size() && (text[j] == '-' || text[j] == '+')) exponent += text[j++];
    const std::size_t digits_start = j;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9') exponent += text[j++];
    if (j > digits_start) number += exponent;
  }
  double value = 0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // " 1.79769313486232E+308" lies just above the largest double: overflow
    // reads as the largest magnitude, underflow as zero.
    if (number.find("e-") != std::string::npos) return 0;
    const double largest = std::numeric_limits<double>::max();
    return number.front() == '-' ? -largest : largest;
  }
  return result.ec == std::errc() ? value : 0;
}

// Right-justifies `text` in `width` characters; a longer text stays as it is.
std::string PadLeft(std::string text, int width) {
  if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
    text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  }
  return text;
}

// 10^exponent, also where 10^exponent itself leaves the double range: the
// quotient value / 10^exponent is then taken in two steps.
double DivideByPowerOfTen(double value, int exponent) {
  if (exponent >= -300 && exponent <= 300) return value / std::pow(10.0, exponent);
  const int half = exponent / 2;
  return value / std::pow(10.0, half) / std::pow(10.0, exponent - half);
}

// floor(value x 10^decimals + 0.5) / 10^decimals, halves upwards. Where the
// scaled value leaves the double range the value has no digits at that
// position left to round, so it stays; a scale that underflows to zero
// rounds everything to zero.
double RoundHalfUp(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  if (scale == 0) return 0;
  const double scaled = value * scale + 0.5;
  if (!std::isfinite(scale) || !std::isfinite(scaled)) return value;
  return std::floor(scaled) / scale;
}

std::string FormatValueImpl(double value, int width, int decimals, bool allow_exponent);

std::string FormatExponentImpl(double value, int width, int decimals) {
  if (!std::isfinite(value)) return PadLeft(NonFiniteText(value), width);
  // Decimals are clamped at 0 as well as at width - 6: a negative count would
  // give the mantissa a field too narrow for any text.
  decimals = std::max(0, std::min(decimals, width - 6));

  std::string text;
  if (std::fabs(value) > 1E-16) {
    const double ratio = std::log(std::fabs(value)) / std::log(10.0);
    const int exponent = static_cast<int>(std::floor(ratio)) + 1;  // -323..309: fits an int16
    const double mantissa_value = DivideByPowerOfTen(value, exponent);
    // The mantissa field is narrower than decimals + 3, so it never gets a
    // zero before its point; it must never fall back to an exponent itself.
    text = FormatValueImpl(mantissa_value, decimals + 2, decimals, false);
    text += exponent < 0 ? "D-" : "D+";
    text += PadInteger(static_cast<int16_t>(std::abs(exponent)), 2, "0");
  } else {
    text = "." + std::string(static_cast<std::size_t>(decimals), '0') + "D+00";
  }
  return PadLeft(std::move(text), width);
}

std::string FormatValueImpl(double value, int width, int decimals, bool allow_exponent) {
  if (!std::isfinite(value)) return PadLeft(NonFiniteText(value), width);

  std::string text = WithoutLeadingBlank(PlainDecimal(value));
  const std::size_t point = text.find('.');
  int after_point = 0;
  if (point == std::string::npos) {
    text += '.';
  } else {
    after_point = static_cast<int>(text.size() - point - 1);
  }

  if (after_point < decimals) {
    text.append(static_cast<std::size_t>(decimals - after_point), '0');
  } else {
    // The rounded text keeps its leading blank and shows only the decimals the
    // rounded value needs: 1.999 with 2 decimals gives " 2".
    text = PlainDecimal(RoundHalfUp(value, decimals));
  }

  const double shown = ReadValue(text);
  if (shown > -1 && shown < 1 && width >= decimals + 3) {
    if (shown > 0) {
      text = "0" + WithoutLeadingBlank(PlainDecimal(shown));
    } else if (shown < 0) {
      text = "-0" + WithoutLeadingBlank(PlainDecimal(-shown));
    } else {
      text = "0";
    }
  }

  // Texts stay far below 2^31 characters: at most 32767 padded decimals.
  const int spare = width - static_cast<int>(text.size());
  if (spare >= 0) return PadLeft(std::move(text), width);

  // Surplus decimals are cut, not rounded. Only decimals may go: when the cut
  // would reach the point or an exponent ("1.25E+16" cut to "1.25E+1"), the
  // label would show a different number, so the exponent form is used instead.
  const std::size_t text_point = text.find('.');
  const bool only_decimals_cut = text_point != std::string::npos && static_cast<int>(text_point) < width &&
                                 text.find('E') == std::string::npos;
  if (-spare <= decimals && only_decimals_cut) return text.substr(0, static_cast<std::size_t>(width));

  // Below width 6 there is no room for the exponent form (its mantissa would
  // get a negative number of decimals and the fallback would feed on itself):
  // the full text is returned, longer than width, as three-digit exponents are.
  if (!allow_exponent || width < 6) return text;
  return FormatExponentImpl(value, width, width - 6);
}

}  // namespace

std::string PlainDecimal(double value) { return PlainDecimalDigits(value, 15); }

std::string PlainDecimal(float value) { return PlainDecimalDigits(static_cast<double>(value), 7); }

std::string FormatValue(double value, int16_t width, int16_t decimals) {
  return FormatValueImpl(value, width, decimals, true);
}

std::string FormatExponent(double value, int16_t width, int16_t decimals) {
  return FormatExponentImpl(value, width, decimals);
}

std::string PadInteger(int16_t value, int16_t width, const std::string& fill) {
  std::string text = WithoutLeadingBlank(PlainDecimal(static_cast<double>(value)));
  if (fill.empty()) return text;  // an empty fill could never reach the width
  const int missing = static_cast<int>(width) - static_cast<int>(text.size());
  if (missing <= 0) return text;
  // Whole copies of the fill go in front, as many as it takes to reach the
  // width (a longer fill may overshoot it).
  const std::size_t copies = (static_cast<std::size_t>(missing) + fill.size() - 1) / fill.size();
  std::string prefix;
  prefix.reserve(copies * fill.size());
  for (std::size_t i = 0; i < copies; ++i) prefix += fill;
  return prefix + text;
}

}  // namespace quillon
