#include "session/plot_view.h"

#include <algorithm>
#include <cmath>

#include "render/number_format.h"

namespace quillon {

namespace {
constexpr double kMinZoomFraction = 0.1;
constexpr double kSnapTolerance = 0.00001;

// True when `end` lies within the snap tolerance of the data range's end
// `limit`, measured from inside the range (`distance` >= 0 normally).
bool WithinSnap(double distance, double limit) {
  // Relative to the end's size; an end at 0 Angstroms has no size to be
  // relative to, so the tolerance is taken in Angstroms there.
  if (limit == 0) return distance < kSnapTolerance;
  return distance / std::fabs(limit) < kSnapTolerance;
}
}  // namespace

ScrollBarSettings ComputeScrollBar(const SharedState& state) {
  const double half = state.PlotLambdaSpan / 2;
  ScrollBarSettings s;
  s.min = RoundToInt32(state.DataLambdaMin + half);
  s.max = RoundToInt32(state.DataLambdaMax - half);
  s.value = RoundToInt32((state.PlotLambdaMin + state.PlotLambdaMax) / 2);
  s.small_change = std::max(1, RoundToInt32(state.PlotLambdaSpan / 10));
  s.large_change = std::max(1, RoundToInt32(state.PlotLambdaSpan));
  return s;
}

void UpdateScrollBar(const SharedState& state, ScrollBarControl& bar) {
  // Each property is read from the state as it is set: a position change
  // caused by SetMin runs the scroll handler nested, which re-centres the view
  // before Value is computed.
  bar.SetMin(ComputeScrollBar(state).min);
  bar.SetMax(ComputeScrollBar(state).max);
  bar.SetValue(ComputeScrollBar(state).value);
  bar.SetSmallChange(ComputeScrollBar(state).small_change);
  bar.SetLargeChange(ComputeScrollBar(state).large_change);
}

bool ZoomIn(SharedState& state) {
  const double a = (3 * state.PlotLambdaMin + state.PlotLambdaMax) / 4;
  const double b = (state.PlotLambdaMin + 3 * state.PlotLambdaMax) / 4;
  const double data_span = state.DataLambdaMax - state.DataLambdaMin;
  if (!std::isfinite(data_span) || data_span == 0) return false;
  // Written so that a NaN view is refused too.
  if (!((b - a) / data_span >= kMinZoomFraction)) return false;
  state.PlotLambdaMin = a;
  state.PlotLambdaMax = b;
  state.PlotLambdaSpan = b - a;
  return true;
}

void ZoomOut(SharedState& state) {
  double a = (3 * state.PlotLambdaMin - state.PlotLambdaMax) / 2;
  double b = (3 * state.PlotLambdaMax - state.PlotLambdaMin) / 2;
  if (a < state.DataLambdaMin) a = state.DataLambdaMin;
  if (WithinSnap(a - state.DataLambdaMin, state.DataLambdaMin)) a = state.DataLambdaMin;
  if (b > state.DataLambdaMax) b = state.DataLambdaMax;
  if (WithinSnap(state.DataLambdaMax - b, state.DataLambdaMax)) b = state.DataLambdaMax;
  state.PlotLambdaMin = a;
  state.PlotLambdaMax = b;
  state.PlotLambdaSpan = b - a;
}

void ShowFullRange(SharedState& state) {
  state.PlotLambdaMin = state.DataLambdaMin;
  state.PlotLambdaMax = state.DataLambdaMax;
  state.PlotLambdaSpan = state.PlotLambdaMax - state.PlotLambdaMin;
}

void CentreView(SharedState& state, int32_t centre) {
  state.PlotLambdaMin = centre - state.PlotLambdaSpan / 2;
  state.PlotLambdaMax = centre + state.PlotLambdaSpan / 2;
}

PlotScene SceneOf(const SharedState& state) {
  PlotScene scene;
  for (int slot = 1; slot <= state.SlotCount && slot <= kSlotCount; ++slot) {
    const Slot& s = state.Slots[slot];
    if (s.loaded && s.spectrum) scene.curves.push_back({s.spectrum.get(), s.color, s.offset});
  }
  scene.lambda_min = state.PlotLambdaMin;
  scene.lambda_max = state.PlotLambdaMax;
  scene.width = state.PlotWidth;
  scene.height = state.PlotHeight;
  scene.outer_width = state.PlotWidth;
  return scene;
}

namespace {

// Sets RenderBusy for the showing and clearing of the window and clears it
// again on every way out, so a throwing showing cannot leave the plot
// window's handlers switched off.
class RenderBusyScope {
 public:
  explicit RenderBusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~RenderBusyScope() { flag_ = false; }
  RenderBusyScope(const RenderBusyScope&) = delete;
  RenderBusyScope& operator=(const RenderBusyScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

void RenderPlot(SharedState& state, PlotHost& host) {
  if (!state.SpectraLoaded) return;
  PlotScene scene = SceneOf(state);
  const PlotFrame frame = LayOutPlot(scene);
  state.PlotLambdaSpan = frame.lambda_span;
  DrawingSurface* surface = nullptr;
  {
    // The window's own load, resize and scroll handlers run inside Show()
    // and must not start a second drawing.
    RenderBusyScope busy(state.RenderBusy);
    host.SetFrame(frame);
    host.Show();
    surface = &host.Surface();
    surface->Clear();
    state.PlotWindowOpen = true;
  }
  // The labels below the frame go where the window's size puts them once shown.
  scene.width = state.PlotWidth;
  scene.height = state.PlotHeight;
  scene.outer_width = host.OuterWidth();
  DrawPlot(scene, frame, *surface);
}

CursorReadOut ReadOutAt(const SharedState& state, const PlotFrame& frame, float x, float y) {
  CursorReadOut out;
  const int32_t width = int32_t{frame.right} - frame.left;
  const int32_t height = int32_t{frame.bottom} - frame.top;
  // The strict comparisons already leave a frame without width or height
  // empty; the explicit test keeps the divisions below visibly safe.
  if (width <= 0 || height <= 0) return out;
  if (!(frame.left < x && x < frame.right && frame.top < y && y < frame.bottom)) return out;
  out.inside = true;
  const float fx = (x - static_cast<float>(frame.left)) / static_cast<float>(width);
  const auto wavelength =
      static_cast<float>(state.PlotLambdaMin + (state.PlotLambdaMax - state.PlotLambdaMin) * fx);
  const float fy = (static_cast<float>(frame.bottom) - y) / static_cast<float>(height);
  const auto intensity =
      static_cast<float>(frame.intensity_min + (frame.intensity_max - frame.intensity_min) * fy);
  // A view without finite ends has no values to show: the boxes go blank.
  if (std::isfinite(wavelength)) out.wavelength = FormatValue(wavelength, 8, 2);
  if (std::isfinite(intensity)) out.intensity = FormatValue(intensity, 8, 0);
  return out;
}

int32_t BottomTop(const BottomPlace& place, int16_t plot_height) { return int32_t{plot_height} - place.rise; }

RecordedGeometry RecordGeometry(double left, double top, double width, double height) {
  return {RoundToInt16(left), RoundToInt16(top), RoundToInt16(width), RoundToInt16(height)};
}

}  // namespace quillon
