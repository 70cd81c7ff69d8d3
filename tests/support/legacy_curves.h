#pragma once
// The renderer's curves as they were drawn before spectra carried a
// wavelength scale of their own: every sample at SlotLambdaStart +
// SlotDispersion x j, the visible range by linear interpolation between
// SlotLambdaStart and SlotLambdaEnd. Kept, line for line, as the reference
// that the present renderer must equal for every linear ascending spectrum
// (tests) and as the peer its redraw is timed against (bench).

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "render/renderer.h"
#include "session/shared_state.h"

namespace quillon::legacy {

inline double LegacySafe(double v) { return std::min(std::max(v, -kSafeCoordinate), kSafeCoordinate); }

inline bool SafeLine(double x1, double y1, double x2, double y2, int32_t color, RecordedLine& out) {
  x1 = LegacySafe(x1);
  y1 = LegacySafe(y1);
  x2 = LegacySafe(x2);
  y2 = LegacySafe(y2);
  if (std::isnan(x1 + y1 + x2 + y2)) return false;
  out = {static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2), static_cast<float>(y2), color};
  return true;
}

inline SlotPixelRange LegacyVisibleSamples(const SharedState& state, int slot) {
  SlotPixelRange range;
  const double n = state.SlotNaxis1[slot];
  const double start = state.SlotLambdaStart[slot];
  const double end = state.SlotLambdaEnd[slot];
  if (state.PlotLambdaMin > start) {
    range.first = RoundToInt32(1 + n * (state.PlotLambdaMin - start) / (end - start));
    range.start_lambda = state.PlotLambdaMin;
  } else {
    range.first = 1;
    range.start_lambda = start;
  }
  if (state.PlotLambdaMax < end) {
    range.last = RoundToInt32(n * (state.PlotLambdaMax - start) / (end - start));
  } else {
    range.last = RoundToInt32(n);
  }
  const auto held = static_cast<int32_t>(state.SlotLevelled[slot].size()) - 1;
  const int32_t count = std::min(RoundToInt32(n), held);
  range.first = std::max<int32_t>(range.first, 1);
  range.last = std::min(range.last, count);
  return range;
}

/// Draws, for every loaded slot in order, its curve and its zero-level
/// marker as the renderer's last step did, with the frame and axis ranges
/// that the last RenderPlot left in `state`. Curve lines go to the surface in
/// blocks of 512, as the renderer hands them.
inline void DrawCurvesAndMarkers(const SharedState& state, DrawingSurface& surface) {
  const double span_x = state.PlotLambdaSpan;
  const double span_y = state.PlotIntensityMax - state.PlotIntensityMin;
  const double frame_left = state.FrameLeft;
  const double frame_bottom = state.FrameBottom;
  const double w_c = state.FrameRight - state.FrameLeft + 1;
  const double h = state.FrameBottom - state.FrameTop;
  const auto xc = [&](double v) { return (v - state.PlotLambdaMin) / span_x * w_c + frame_left; };
  const auto yv = [&](double v) { return frame_bottom - (v - state.PlotIntensityMin) / span_y * h; };
  constexpr std::size_t kBlock = 512;
  RecordedLine block[kBlock];
  for (int slot = 1; slot <= state.SlotCount; ++slot) {
    if (!IsSet(state.SlotLoaded[slot])) continue;
    const int32_t color = state.SlotColor[slot];
    surface.SetForeColor(color);
    const RecordedLine in_force{0, 0, 0, 0, color};
    std::size_t filled = 0;
    const auto add = [&](double x1, double y1, double x2, double y2) {
      if (!SafeLine(x1, y1, x2, y2, color, block[filled])) return;
      if (++filled == kBlock) {
        surface.DrawRecorded(block, filled, &in_force);
        filled = 0;
      }
    };
    const SlotPixelRange range = LegacyVisibleSamples(state, slot);
    if (!range.empty()) {
      const SampleArray& levelled = state.SlotLevelled[slot];
      const double offset = state.SlotOffset[slot];
      const double lambda_start = state.SlotLambdaStart[slot];
      const double dispersion = state.SlotDispersion[slot];
      const int32_t sample_count =
          std::min<int32_t>(RoundToInt32(state.SlotNaxis1[slot]), static_cast<int32_t>(levelled.size()) - 1);
      double x = xc(range.start_lambda);
      double y = yv(levelled[static_cast<std::size_t>(range.first)] - offset);
      for (int32_t j = range.first; j <= range.last; ++j) {
        const double xj = xc(lambda_start + dispersion * j);
        add(x, y, xj, y);
        if (j == sample_count) break;
        const double y_next = yv(levelled[static_cast<std::size_t>(j) + 1] - offset);
        add(xj, y, xj, y_next);
        x = xj;
        y = y_next;
      }
    }
    if (filled != 0) surface.DrawRecorded(block, filled, &in_force);
    const double y0 = yv(0.0 - state.SlotOffset[slot]);
    RecordedLine marker;
    if (SafeLine(state.FrameRight, y0, state.PlotWidth, y0, color, marker))
      surface.Line(marker.x1, marker.y1, marker.x2, marker.y2);
  }
}

}  // namespace quillon::legacy
