#include "plot/number_format.h"

namespace quillon {
// Placeholder until number formatting lands.
std::string PlainDecimal(double) { return {}; }
std::string PlainDecimal(float) { return {}; }
std::string FormatValue(double, int16_t, int16_t) { return {}; }
std::string FormatExponent(double, int16_t, int16_t) { return {}; }
std::string PadInteger(int16_t, int16_t, const std::string&) { return {}; }
}  // namespace quillon
