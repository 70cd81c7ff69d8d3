#pragma once
// The plot window's view arithmetic, free of Qt: zoom in and out, full range,
// the scroll bar that carries the view's centre, the cursor read-out and the
// window geometry the window records. Wavelengths in Angstroms, positions in
// twips of the plot window's client area.

#include <array>
#include <cstdint>
#include <string>

#include "render/renderer.h"
#include "session/shared_state.h"

namespace quillon {

/// The five properties of the pan bar (whole Angstroms).
struct ScrollBarSettings {
  int32_t min = 0;
  int32_t max = 0;
  int32_t value = 0;
  int32_t small_change = 1;
  int32_t large_change = 1;
  bool operator==(const ScrollBarSettings&) const = default;
};

/// The scroll bar as the view arithmetic drives it. Setting a property may run
/// the scroll bar's change handler at once, inside the setter.
class ScrollBarControl {
 public:
  virtual ~ScrollBarControl() = default;
  virtual void SetMin(int32_t value) = 0;
  virtual void SetMax(int32_t value) = 0;
  virtual void SetValue(int32_t value) = 0;
  virtual void SetSmallChange(int32_t value) = 0;
  virtual void SetLargeChange(int32_t value) = 0;
};

/// The scroll-bar values for the present view: Min and Max are the centres
/// that keep a view of PlotLambdaSpan inside the data range, Value the view's
/// centre, the steps a tenth and the whole of the span. Each is the nearest
/// 32-bit integer (halves to even); both steps are at least 1, so views under
/// 5 Angstroms and wavelengths beyond 32767 Angstroms still scroll.
ScrollBarSettings ComputeScrollBar(const SharedState& state);

/// The scroll-bar update: sets Min, Max, Value, SmallChange and LargeChange in
/// that order, each from the state at the moment it is set (a change of
/// position it causes runs the scroll handler nested).
void UpdateScrollBar(const SharedState& state, ScrollBarControl& bar);

/// The plot window as a drawing sees it.
class PlotHost {
 public:
  virtual ~PlotHost() = default;
  /// Shows the plot window modeless, loading it first if needed (its load
  /// handler runs nested, inside this call).
  virtual void Show() = 0;
  /// Tells the window the frame of the drawing about to be made; called
  /// before Show, so the window's handlers see the new frame.
  virtual void SetFrame(const PlotFrame& frame) = 0;
  /// The window's drawing surface; owned by the host, valid after Show().
  virtual DrawingSurface& Surface() = 0;
  /// The window's current outer width, twips.
  virtual double OuterWidth() = 0;
};

/// Draws the plot from `state` in the plot window: nothing at all unless
/// SpectraLoaded is set. The frame is laid out and PlotLambdaSpan set, the
/// window learns the frame, is shown and cleared with RenderBusy set (its
/// own handlers then draw nothing), PlotWindowOpen is set, and the scene is
/// drawn with the window's size as it stands once shown.
void RenderPlot(SharedState& state, PlotHost& host);

/// What the plot shows now: every loaded slot's spectrum in slot order with
/// its colour and offset, the plotted range and the plot window's stored
/// size (its outer width as it stands is the window's to add).
PlotScene SceneOf(const SharedState& state);

/// "In": narrows the view to its middle half. Returns false, changing nothing,
/// when the result would be narrower than a tenth of the data range or the
/// data range is empty or not finite.
[[nodiscard]] bool ZoomIn(SharedState& state);

/// "Out": widens the view by half its width on each side, each end held at the
/// data range's (an end within 1e-5 of it, relative, snaps to it; absolute for
/// an end at 0 Angstroms). Always changes the view.
void ZoomOut(SharedState& state);

/// "Full Range": the view becomes the data range.
void ShowFullRange(SharedState& state);

/// Scrolling: re-centres the view on `centre` (Angstroms) keeping its width.
void CentreView(SharedState& state, int32_t centre);

/// The cursor read-out at (x, y), twips.
struct CursorReadOut {
  bool inside = false;     ///< strictly inside the last drawing's frame
  std::string wavelength;  ///< FormatValue(wavelength, 8, 2) when inside
  std::string intensity;   ///< FormatValue(intensity, 8, 0) when inside
};

/// Inverts the mapping of the last drawing, whose frame is `frame`: the
/// wavelength across the plotted range as it stands, the intensity across
/// the frame's axis. Points on the frame's edges are outside, and so is
/// everything when the frame has no width or height.
CursorReadOut ReadOutAt(const SharedState& state, const PlotFrame& frame, float x, float y);

/// The controls of the plot window's bottom row, in the order their tops are
/// set after a resize.
enum class BottomControl {
  WavelengthCaption,  ///< "Wavelength"
  WavelengthReadout,
  IntensityCaption,   ///< "Intensity"
  IntensityReadout,
  ZoomCaption,        ///< "Zoom"
  PanBar,
  ZoomInButton,
  ZoomOutButton,
  FullRangeButton,
};

/// Fixed place of a bottom-row control; its top is the window height minus
/// `rise`. Twips.
struct BottomPlace {
  BottomControl control;
  int32_t left, width, height, rise;
};

inline constexpr std::array<BottomPlace, 9> kBottomRow = {{
    {BottomControl::WavelengthCaption, 120, 1095, 255, 1300},
    {BottomControl::WavelengthReadout, 1320, 855, 255, 1300},
    {BottomControl::IntensityCaption, 2400, 735, 255, 1300},
    {BottomControl::IntensityReadout, 3240, 975, 255, 1300},
    {BottomControl::ZoomCaption, 4560, 615, 255, 1320},
    {BottomControl::PanBar, 5280, 1935, 255, 1660},
    {BottomControl::ZoomInButton, 4440, 735, 375, 1420},
    {BottomControl::ZoomOutButton, 5280, 615, 255, 1300},
    {BottomControl::FullRangeButton, 6000, 1215, 255, 1300},
}};

/// Top of a bottom-row control for a window of outer height `plot_height`, twips.
int32_t BottomTop(const BottomPlace& place, int16_t plot_height);

/// Window geometry as stored in the shared state: each value the nearest
/// 16-bit integer, clamped (a minimised window may report anything).
struct RecordedGeometry {
  int16_t left, top, width, height;
};
RecordedGeometry RecordGeometry(double left, double top, double width, double height);

}  // namespace quillon
