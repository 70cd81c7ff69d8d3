#pragma once
// The renderer as it was before spectra carried wavelength scales, kept in
// quillon::before for the side-by-side benchmark; the surface and host
// interfaces are the present ones, which are unchanged.
// RenderPlot: draws every loaded spectrum from the shared state onto the plot
// window's drawing surface — frame, grey grid with black ticks, the end labels
// of both axes, one staircase curve per loaded slot and its zero-level marker.
// Plain C++: the window is reached only through PlotHost and DrawingSurface.

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/renderer.h"
#include "session/shared_state.h"

namespace quillon::before {

/// Tick marks of one axis: indices first..last of multiples of step.
struct AxisTicks {
  float step = 0;
  int32_t first = 0;
  int32_t last = -1;
  /// False when the span gives no usable step or the indices do not fit; no
  /// tick is drawn then.
  bool valid = false;
};

/// Most ticks an axis may carry; the rule gives 5 to 11, so more means the
/// arithmetic has lost its precision and the axis is drawn without ticks.
inline constexpr int32_t kMaxTicks = 64;

/// The tick rule: a step of 1, 2 or 5 times a decade (found with the divisor
/// 2.302585) giving 4 to 10 intervals over `span`, and the indices of the
/// smallest and largest multiples of it inside minimum..maximum. Invalid for
/// a span that is not positive and finite.
AxisTicks ComputeTicks(double span, double minimum, double maximum);

/// The visible samples of one slot: the first and last sample inside the
/// plotted range and the wavelength at which the curve starts. Empty when the
/// slot has no sample inside the range.
struct SlotPixelRange {
  int32_t first = 1;
  int32_t last = 0;
  double start_lambda = 0;  ///< Angstroms
  bool empty() const { return first > last; }
};

/// SlotFirstPixel / SlotLastPixel of `slot` for the current plotted range, in
/// 32 bits and clamped to the slot's samples.
SlotPixelRange VisibleSamples(const SharedState& state, int slot);

/// Top of the intensity axis: the largest SlotLevelledMax - SlotOffset over
/// the loaded slots, starting from -9999; the whole spectrum counts, not only
/// the part inside the plotted range.
double MaxPlottedIntensity(const SharedState& state);

/// Clears the plot window and draws the whole plot from `state`, showing the
/// window first (RenderBusy is set while it is shown and cleared). Does
/// nothing at all unless SpectraLoaded is set. Writes PlotLambdaSpan,
/// PlotIntensityMax/Min, the Frame edges and PlotWindowOpen. A plotted span
/// that is zero, negative or not finite draws the frame alone (grid, numbers
/// and curves left out); it reports nothing.
void RenderPlot(SharedState& state, PlotHost& host);

}  // namespace quillon::before
