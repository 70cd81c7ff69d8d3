#pragma once
// RenderPlot: draws every loaded spectrum from the shared state onto the plot
// window's drawing surface — frame, grey grid with black ticks, the end labels
// of both axes, one staircase curve per loaded slot and its zero-level marker.
// Plain C++: the window is reached only through PlotHost and DrawingSurface.

#include <cstddef>
#include <cstdint>
#include <string>

#include "session/shared_state.h"

namespace quillon {

/// The plot window labels that the renderer places and fills: the numbers at
/// both ends of the wavelength axis, the axis title, the numbers at the top
/// and bottom of the intensity axis and the intensity grid's step.
enum class PlotLabel {
  FirstWavelength,
  LastWavelength,
  WavelengthTitle,
  TopIntensity,
  IntensityStep,
  BottomIntensity,
};
inline constexpr int kPlotLabelCount = 6;

/// One line as a display list keeps it: twips, with its colour (0x00BBGGRR).
struct RecordedLine {
  float x1, y1, x2, y2;
  int32_t color;
  bool operator==(const RecordedLine&) const = default;
};

/// Whether lines[i] of a recorded block needs its colour set: it is the
/// first line drawn, or its colour differs from the line drawn before it
/// (`previous` for the block's first line, null when there is none).
inline bool ColorChangesAt(const RecordedLine* lines, std::size_t i, const RecordedLine* previous) {
  const RecordedLine* before = i == 0 ? previous : &lines[i - 1];
  return before == nullptr || lines[i].color != before->color;
}

/// Where the renderer draws. Coordinates are twips of the plot window's client
/// area, origin top left, y downwards; colours are 0x00BBGGRR. The renderer
/// only ever passes finite coordinates inside +-kSafeCoordinate.
class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;
  /// Erases everything drawn so far.
  virtual void Clear() = 0;
  /// Colour of the following lines.
  virtual void SetForeColor(int32_t bgr) = 0;
  /// A straight line from (x1, y1) to (x2, y2), both ends included, twips.
  virtual void Line(float x1, float y1, float x2, float y2) = 0;
  /// Moves a label to (left, top), twips, and sets its caption.
  virtual void SetLabel(PlotLabel label, float left, float top, const std::string& caption) = 0;
  /// Draws `count` recorded lines in order, each in its own colour: the same
  /// as SetForeColor at every change of colour (and at the first line unless
  /// it has the colour of `previous`, the line drawn just before, if any),
  /// and Line for each. A surface may override it to draw a long recording
  /// with fewer calls; the picture must be the same.
  virtual void DrawRecorded(const RecordedLine* lines, std::size_t count, const RecordedLine* previous);
  /// Device pixels per twip when the surface lights whole pixels as PixelOf
  /// places them with a 1-pixel pen; 0 (the default) when it draws every
  /// line at its own resolution. On a surface with pixels the renderer draws
  /// a column where several samples meet as one vertical run from the lowest
  /// to the highest level the staircase reaches there, the pixels drawing
  /// every segment would light.
  virtual double PixelsPerTwip() const { return 0; }
};

/// The plot window as the renderer sees it.
class PlotHost {
 public:
  virtual ~PlotHost() = default;
  /// Shows the plot window modeless, loading it first if needed (its load
  /// handler runs nested, inside this call).
  virtual void Show() = 0;
  /// The window's drawing surface; owned by the host, valid after Show().
  virtual DrawingSurface& Surface() = 0;
  /// The window's current outer Width, twips.
  virtual double OuterWidth() = 0;
};

/// Largest magnitude of a coordinate handed to a DrawingSurface, twips (about
/// 700 inches). Anything further out is pulled in to it, so huge sample values
/// draw as lines running off the frame instead of overflowing the platform.
inline constexpr double kSafeCoordinate = 1.0e6;

/// Height kept free below the frame for the axis labels and the window's
/// bottom row of controls, twips.
inline constexpr int16_t kBottomReserve = 1200;

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

/// A slot's samples in the order the curve is drawn, by rising wavelength:
/// position k (1..count) is sample k, or sample count + 1 - k of a spectrum
/// stored red to blue. `scale` gives the wavelength of each position (At(k)
/// is where position k's step ends) and never descends.
struct AscendingSamples {
  WavelengthScale scale;
  bool reversed = false;
  int32_t count = 0;  ///< samples the slot holds
  /// The sample (index into SlotLevelled) at position k.
  int32_t SampleAt(int32_t k) const { return reversed ? count + 1 - k : k; }
};

/// The drawing order of `slot`'s samples: its SlotWavelengthScale, reversed
/// when it descends, over min(NAXIS1, samples held) samples.
AscendingSamples AscendingView(const SharedState& state, int slot);

/// The visible samples of one slot: the first and last position (of
/// AscendingView) inside the plotted range and the wavelength at which the
/// curve starts. Empty when the slot has no sample inside the range. For an
/// ascending spectrum positions are sample numbers.
struct SlotPixelRange {
  int32_t first = 1;
  int32_t last = 0;
  double start_lambda = 0;  ///< Angstroms
  bool empty() const { return first > last; }
};

/// SlotFirstPixel / SlotLastPixel of `slot` for the current plotted range, in
/// 32 bits and clamped to the slot's samples. The range ends are found on the
/// scale's own axis (log10 of the wavelength for a logarithmic scale) between
/// SlotLambdaStart and SlotLambdaEnd.
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

}  // namespace quillon
