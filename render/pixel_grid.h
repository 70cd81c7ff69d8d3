#pragma once
// The device pixel a twip coordinate falls on, as the screen's raster
// surface lights it. The renderer uses the same rule to find which samples
// share a pixel column, so that it can draw each such column as one run.

namespace quillon {

/// The device pixel of a coordinate in twips (nearest, halves up) at
/// `pixels_per_twip`, clamped to +-2^24 so that span arithmetic cannot
/// overflow; NaN gives the lower limit. Never decreases as `twips` grows.
inline int PixelOf(float twips, double pixels_per_twip) {
  constexpr double kLimit = 16777216.0;  // 2^24
  double v = static_cast<double>(twips) * pixels_per_twip + 0.5;
  v = v >= -kLimit ? v : -kLimit;  // written so that NaN fails the test
  v = v <= kLimit ? v : kLimit;
  // Shifted to be non-negative, truncation is floor.
  return static_cast<int>(v + kLimit) - static_cast<int>(kLimit);
}

}  // namespace quillon
