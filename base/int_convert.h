#pragma once
// Every place where a real becomes an integer goes through these helpers:
// nearest integer with halves to the even neighbour, and out-of-range or
// non-finite values clamped instead of invoking undefined behaviour.

#include <cmath>
#include <cstdint>
#include <limits>

namespace quillon {

namespace detail {
template <typename Int>
constexpr Int RoundHalfEvenClamped(double value) {
  constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
  constexpr double hi = static_cast<double>(std::numeric_limits<Int>::max());
  if (std::isnan(value)) return 0;
  if (value <= lo) return std::numeric_limits<Int>::min();
  if (value >= hi) return std::numeric_limits<Int>::max();
  // nearbyint honours the default rounding mode: round half to even.
  return static_cast<Int>(std::nearbyint(value));
}
}  // namespace detail

/// Nearest 16-bit integer, halves to even; clamps to -32768..32767, NaN gives 0.
inline int16_t RoundToInt16(double value) { return detail::RoundHalfEvenClamped<int16_t>(value); }

/// Nearest 32-bit integer, halves to even; clamps to the int32 range, NaN gives 0.
inline int32_t RoundToInt32(double value) { return detail::RoundHalfEvenClamped<int32_t>(value); }

/// Nearest 64-bit integer, halves to even; clamps to +-2^62, NaN gives 0.
inline int64_t RoundToInt64(double value) {
  constexpr double limit = 4611686018427387904.0;  // 2^62: exactly representable
  if (std::isnan(value)) return 0;
  if (value <= -limit) return -static_cast<int64_t>(limit);
  if (value >= limit) return static_cast<int64_t>(limit);
  return static_cast<int64_t>(std::nearbyint(value));
}

/// Clamps a whole number into the 16-bit range (for geometry stored as int16).
inline int16_t ClampToInt16(int64_t value) {
  if (value < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
  if (value > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  return static_cast<int16_t>(value);
}

/// Whole part (rounded towards minus infinity) as a 16-bit integer, clamped; NaN gives 0.
inline int16_t FloorToInt16(double value) {
  if (std::isnan(value)) return 0;
  return RoundToInt16(std::floor(value));
}

/// Whole part (rounded towards minus infinity) as a 32-bit integer, clamped; NaN gives 0.
inline int32_t FloorToInt32(double value) {
  if (std::isnan(value)) return 0;
  return RoundToInt32(std::floor(value));
}

}  // namespace quillon
