#pragma once
// Where a spectrum with a wavelength per sample can be drawn as one
// staircase: stretches of samples whose wavelengths are numbers and run one
// way. A spectrum stored red to blue is one stretch; overlapping pieces
// (orders, segments, exposures joined end to end) are one stretch each, cut
// where the wavelengths jump back, so no line joins one piece to the next.

#include <cstdint>
#include <span>
#include <vector>

#include "spectrum/level_summary.h"

namespace quillon {

/// Samples first..last (1-based, first <= last) of one stretch.
struct SampleRun {
  int64_t first = 0;
  int64_t last = 0;
  bool operator==(const SampleRun&) const = default;
};

/// The stretches of samples 1..n of `wavelengths` (entry 0 unused). A
/// stretch takes its direction from its first two different wavelengths and
/// ends before a wavelength that goes the other way, before a wavelength
/// that is not a number, and before every sample number in `cuts` (the
/// first sample of a piece that must stand alone whatever its wavelengths).
/// Samples whose wavelength is not a number belong to no stretch.
std::vector<SampleRun> WavelengthRuns(const SampleArray& wavelengths, int64_t n,
                                      std::span<const int64_t> cuts = {});

}  // namespace quillon
