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

CursorReadOut ReadOutAt(const SharedState& state, float x, float y) {
  CursorReadOut out;
  const int32_t width = int32_t{state.FrameRight} - state.FrameLeft;
  const int32_t height = int32_t{state.FrameBottom} - state.FrameTop;
  // The strict comparisons already leave a frame without width or height
  // empty; the explicit test keeps the divisions below visibly safe.
  if (width <= 0 || height <= 0) return out;
  if (!(state.FrameLeft < x && x < state.FrameRight && state.FrameTop < y && y < state.FrameBottom)) return out;
  out.inside = true;
  const float fx = (x - static_cast<float>(state.FrameLeft)) / static_cast<float>(width);
  const auto wavelength =
      static_cast<float>(state.PlotLambdaMin + (state.PlotLambdaMax - state.PlotLambdaMin) * fx);
  const float fy = (static_cast<float>(state.FrameBottom) - y) / static_cast<float>(height);
  const auto intensity =
      static_cast<float>(state.PlotIntensityMin + (state.PlotIntensityMax - state.PlotIntensityMin) * fy);
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
