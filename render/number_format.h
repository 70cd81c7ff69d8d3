#pragma once
// The one rule that turns numbers into label texts: PlainDecimal, the default
// form, and FormatValue, a fixed-width right-justified field with a "D"
// exponent fallback. No state; touches no shared data.

#include <cstdint>
#include <string>

namespace quillon {

/// Default text of a double: 15 significant digits, a leading blank when not
/// negative, no zero before the point of magnitudes below 1, "E" exponent
/// form for decimal exponents below -4 or of 15 and more.
std::string PlainDecimal(double value);
/// The same for a single-precision value: 7 significant digits.
std::string PlainDecimal(float value);
/// Label text of `value`: `width` characters, right-justified, up to
/// `decimals` decimals; falls back to FormatExponent when it does not fit.
std::string FormatValue(double value, int16_t width, int16_t decimals);
/// Exponent form with the letter "D" (" .12D+09"), padded to `width`.
std::string FormatExponent(double value, int16_t width, int16_t decimals);
/// Plain text of `value` without its blank, `fill` put in front until it has
/// `width` characters ("05").
std::string PadInteger(int16_t value, int16_t width, const std::string& fill);

}  // namespace quillon
