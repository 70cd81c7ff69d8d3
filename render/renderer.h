#pragma once
// The plot renderer: draws a scene (the spectra to show, each with its colour and
// offset, the plotted wavelength range and the window's size) onto any
// drawing surface: frame, grey grid with black ticks, the end labels of both
// axes, one staircase curve per spectrum and its zero-level marker. It reads
// the spectra and the view and returns the frame it drew; it writes nothing
// else. Plain C++: a window is reached only through DrawingSurface.

#include <cstddef>
#include <cstdint>
#include <string>

#include <vector>

#include "spectrum/spectrum.h"

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

/// One curve of a scene: a spectrum in its slot's colour, moved down by
/// its slot's offset.
struct PlotCurve {
  const Spectrum* spectrum = nullptr;
  int32_t color = 0;    ///< 0x00BBGGRR
  int16_t offset = 0;   ///< levelled units
};

/// What one drawing shows.
struct PlotScene {
  std::vector<PlotCurve> curves;  ///< the loaded slots, in slot order
  double lambda_min = 0;          ///< left end of the plotted range, Angstroms
  double lambda_max = 0;          ///< right end of the plotted range, Angstroms
  int16_t width = 0;              ///< the plot window's stored outer width, twips
  int16_t height = 0;             ///< the plot window's stored outer height, twips
  double outer_width = 0;         ///< the window's outer width as it stands, twips (places the axis title)
};

/// The frame and axes of one drawing: what the cursor read-out inverts.
struct PlotFrame {
  double lambda_min = 0;
  double lambda_span = 0;     ///< lambda_max - lambda_min of the scene
  double intensity_min = 0;   ///< bottom of the intensity axis: always -40
  double intensity_max = 0;   ///< top: MaxPlottedIntensity of the scene
  int16_t left = 0, right = 0, top = 0, bottom = 0;  ///< twips of the window's client area
  bool operator==(const PlotFrame&) const = default;
};

/// A spectrum's samples in the order the curve is drawn, by rising wavelength:
/// position k (1..count) is sample k, or sample count + 1 - k of a spectrum
/// stored red to blue. `scale` gives the wavelength of each position (At(k)
/// is where position k's step ends) and never descends.
struct AscendingSamples {
  WavelengthScale scale;
  bool reversed = false;
  int32_t count = 0;  ///< samples the spectrum holds
  /// The sample (index into the levelled values) at position k.
  int32_t SampleAt(int32_t k) const { return reversed ? count + 1 - k : k; }
};

/// The drawing order of a spectrum's samples: its drawn scale, reversed when
/// it descends, over min(NAXIS1, samples held) samples.
AscendingSamples AscendingView(const Spectrum& spectrum);

/// The visible samples of one spectrum: the first and last position (of
/// AscendingView) inside the plotted range and the wavelength at which the
/// curve starts. Empty when the spectrum has no sample inside the range. For
/// an ascending spectrum positions are sample numbers.
struct SlotPixelRange {
  int32_t first = 1;
  int32_t last = 0;
  double start_lambda = 0;  ///< Angstroms
  bool empty() const { return first > last; }
};

/// The first and last visible position of `spectrum` for the plotted range
/// lambda_min..lambda_max, in 32 bits and clamped to its samples. The range
/// ends are found on the scale's own axis (log10 of the wavelength for a
/// logarithmic scale) between the spectrum's start and end wavelengths.
SlotPixelRange VisibleSamples(const Spectrum& spectrum, double lambda_min, double lambda_max);

/// Top of the intensity axis: the largest levelled maximum less the offset
/// over the curves, starting from -9999; the whole spectrum counts, not only
/// the part inside the plotted range.
double MaxPlottedIntensity(const std::vector<PlotCurve>& curves);

/// The frame and axes a drawing of `scene` has, before anything is drawn.
PlotFrame LayOutPlot(const PlotScene& scene);

/// Draws `scene` in `frame` (LayOutPlot of it) onto `surface`, which the
/// caller has cleared. A plotted span that is zero, negative or not finite
/// draws the frame alone (grid, numbers and curves left out).
void DrawPlot(const PlotScene& scene, const PlotFrame& frame, DrawingSurface& surface);

/// Clears `surface` and draws `scene` on it; returns the frame drawn.
PlotFrame RenderScene(const PlotScene& scene, DrawingSurface& surface);

}  // namespace quillon
