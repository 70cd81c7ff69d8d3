#pragma once
// The wavelength scale of one spectrum: where each of its samples lies.
//
// A scale is linear (Angstroms = origin + step x p) or logarithmic
// (Angstroms = 10 ^ (origin + step x p)), where p is a pixel position:
// sample i (counted from 1) ends at pixel i, so its staircase step runs from
// pixel i - 1 to pixel i, and pixel 0 is where the spectrum begins. The step
// may be negative: the spectrum is then stored red to blue.

#include <cmath>
#include <cstdint>

namespace quillon {

struct WavelengthScale {
  double origin = 0;         ///< value at pixel 0: Angstroms, or log10 Angstroms when logarithmic
  double step = 0;           ///< per pixel, in the same units as origin
  bool logarithmic = false;  ///< origin and step are log10 Angstroms

  /// Wavelength of pixel position `p`, Angstroms. Sample i lies at At(i).
  double At(double p) const {
    const double linear = origin + step * p;
    return logarithmic ? std::pow(10.0, linear) : linear;
  }

  /// The pixel position of `lambda` (Angstroms): the inverse of At. Not
  /// finite for a step of 0, or for a logarithmic scale and lambda <= 0.
  double PixelAt(double lambda) const {
    const double value = logarithmic ? std::log10(lambda) : lambda;
    return (value - origin) / step;
  }

  /// True when the wavelength falls as the pixel grows (stored red to blue).
  bool Descending() const { return step < 0; }

  /// The same scale with the `n` samples counted from the other end: sample
  /// k of the result is sample n + 1 - k of this scale, and its pixel k is
  /// this scale's pixel n - k. Reversing a descending scale gives an
  /// ascending one over the same wavelengths.
  WavelengthScale Reversed(double n) const { return {origin + step * n, -step, logarithmic}; }

  bool operator==(const WavelengthScale&) const = default;
};

}  // namespace quillon
