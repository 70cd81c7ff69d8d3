// Full redraw of 16 slots of 3000 samples (about 96,000 segments) into a
// 1000 x 600-pixel image, side by side:
//   Spans                    - RenderPlot straight onto the span raster surface;
//   RecordWhileRasterising   - what the plot window does: each line recorded
//                              and rasterised as it is drawn;
//   RecordAndReplay          - record, then rasterise the recording (the
//                              window's repaint after a change of size or
//                              pixel ratio);
//   PainterPerSegment        - RenderPlot onto a QPainter, one drawLine per
//                              segment (1-pixel pen, no antialiasing: the
//                              reference picture).
// Target: Spans and RecordAndReplay under 3 ms and at least 3 times faster
// than PainterPerSegment.
// Then one spectrum of 1,000,000 samples (2,000,000 segments, about 1000
// samples per pixel column), drawn the same two ways: under 30 ms.

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <random>
#include <span>
#include <vector>

#include "bench/million_samples.h"
#include "render/display_list.h"
#include "qt/raster_surface.h"
#include "render/renderer.h"
#include "qt/twips.h"
#include "session/plot_view.h"
#include "session/shared_state.h"

namespace quillon {
namespace {

constexpr int kWidthPx = 1000;
constexpr int kHeightPx = 600;
constexpr double kPixelsPerTwip = 96.0 / 1440;  // 15 twips per pixel

SharedState SixteenSpectra() {
  SharedState state;
  state.PlotWidth = static_cast<int16_t>(kWidthPx / kPixelsPerTwip);
  state.PlotHeight = static_cast<int16_t>(kHeightPx / kPixelsPerTwip);
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0, 10);
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    const int n = 3000;
    SampleArray levelled(n + 1, 0.0);
    double top = 0;
    for (int j = 1; j <= n; ++j) {
      levelled[static_cast<std::size_t>(j)] = 90 + noise(random) + (j % 400 < 8 ? 80 : 0);
      top = std::max(top, levelled[static_cast<std::size_t>(j)]);
    }
    PutLevelled(state, slot, 4000 + 7.0 * slot, 1.0, std::move(levelled), top);
  }
  state.SpectraLoaded = true;
  state.DataLambdaMin = 4000;
  state.DataLambdaMax = 7200;
  state.PlotLambdaMin = 4000;
  state.PlotLambdaMax = 7200;
  return state;
}

// One slot of 1,000,000 samples on the 1000 x 600-pixel plot.
SharedState MillionSamples() {
  SharedState state;
  state.PlotWidth = static_cast<int16_t>(kWidthPx / kPixelsPerTwip);
  state.PlotHeight = static_cast<int16_t>(kHeightPx / kPixelsPerTwip);
  PutMillionSamples(state);
  return state;
}

class SurfaceHost : public PlotHost {
 public:
  explicit SurfaceHost(DrawingSurface& surface) : surface_(surface) {}
  void Show() override {}
  void SetFrame(const PlotFrame&) override {}
  DrawingSurface& Surface() override { return surface_; }
  double OuterWidth() override { return kWidthPx / kPixelsPerTwip; }

 private:
  DrawingSurface& surface_;
};

// Straight onto the span surface.
void RedrawSpans(benchmark::State& bench, SharedState state) {
  QImage image(kWidthPx, kHeightPx, QImage::Format_RGB32);
  RasterSurface surface(image, kPixelsPerTwip, Qt::white);
  SurfaceHost host(surface);
  for (auto _ : bench) {
    RenderPlot(state, host);
    surface.Flush();
    benchmark::DoNotOptimize(image.constBits());
  }
}

// What the plot window does: the drawing recorded, then rasterised.
void RedrawRecordAndReplay(benchmark::State& bench, SharedState state) {
  QImage image(kWidthPx, kHeightPx, QImage::Format_RGB32);
  RasterSurface surface(image, kPixelsPerTwip, Qt::white);
  DisplayList list;
  SurfaceHost host(list);
  for (auto _ : bench) {
    RenderPlot(state, host);
    list.Replay(surface);
    surface.Flush();
    benchmark::DoNotOptimize(image.constBits());
  }
  bench.counters["segments"] = static_cast<double>(list.LineCount());
}

// What the plot window does since it rasterises a drawing as it is made:
// every line goes into the display list (kept for exposures at another size
// or pixel ratio, and for printing) and into the window's buffer at once.
class RecordingRaster : public DrawingSurface {
 public:
  RecordingRaster(DisplayList& list, RasterSurface& raster) : list_(list), raster_(raster) {}
  void Clear() override {
    list_.Clear();
    raster_.Clear();
  }
  void SetForeColor(int32_t bgr) override {
    list_.SetForeColor(bgr);
    raster_.SetForeColor(bgr);
  }
  void Line(float x1, float y1, float x2, float y2) override {
    list_.Line(x1, y1, x2, y2);
    raster_.Line(x1, y1, x2, y2);
  }
  void DrawRecorded(const RecordedLine* lines, std::size_t count, const RecordedLine* previous) override {
    list_.DrawRecorded(lines, count, previous);
    raster_.DrawRecorded(lines, count, previous);
  }
  void SetLabel(PlotLabel label, float left, float top, const std::string& caption) override {
    list_.SetLabel(label, left, top, caption);
  }
  // As the window's surface: the buffer's pixels.
  double PixelsPerTwip() const override { return raster_.PixelsPerTwip(); }

 private:
  DisplayList& list_;
  RasterSurface& raster_;
};

void RedrawRecordingWhileRasterising(benchmark::State& bench, SharedState state) {
  QImage image(kWidthPx, kHeightPx, QImage::Format_RGB32);
  RasterSurface raster(image, kPixelsPerTwip, Qt::white);
  DisplayList list;
  RecordingRaster surface(list, raster);
  SurfaceHost host(surface);
  for (auto _ : bench) {
    RenderPlot(state, host);
    raster.Flush();
    benchmark::DoNotOptimize(image.constBits());
  }
  bench.counters["segments"] = static_cast<double>(list.LineCount());
}

void BM_FullRedraw_Spans(benchmark::State& bench) { RedrawSpans(bench, SixteenSpectra()); }
BENCHMARK(BM_FullRedraw_Spans)->Unit(benchmark::kMillisecond);

void BM_FullRedraw_RecordAndReplay(benchmark::State& bench) { RedrawRecordAndReplay(bench, SixteenSpectra()); }
BENCHMARK(BM_FullRedraw_RecordAndReplay)->Unit(benchmark::kMillisecond);

void BM_FullRedraw_RecordWhileRasterising(benchmark::State& bench) {
  RedrawRecordingWhileRasterising(bench, SixteenSpectra());
}
BENCHMARK(BM_FullRedraw_RecordWhileRasterising)->Unit(benchmark::kMillisecond);

void BM_MillionSamples_RecordWhileRasterising(benchmark::State& bench) {
  RedrawRecordingWhileRasterising(bench, MillionSamples());
}
BENCHMARK(BM_MillionSamples_RecordWhileRasterising)->Unit(benchmark::kMillisecond);

void BM_MillionSamples_Spans(benchmark::State& bench) { RedrawSpans(bench, MillionSamples()); }
BENCHMARK(BM_MillionSamples_Spans)->Unit(benchmark::kMillisecond);

// A 1,000,000-sample spectrum records about 2,000,000 lines.
void BM_MillionSamples_RecordAndReplay(benchmark::State& bench) { RedrawRecordAndReplay(bench, MillionSamples()); }
BENCHMARK(BM_MillionSamples_RecordAndReplay)->Unit(benchmark::kMillisecond);

// ---- Scaling: one spectrum of 10^3 to 10^7 samples, and 16 of 10^6 ------------

// Replaces the spectrum in `slot` by a copy with a wavelength per sample, as
// a table's reader leaves it: its stretches found (cut before each of
// `cuts`) and its summary its own. The copy is returned for the caller to
// shape further before it draws.
Spectrum& GiveWavelengths(SharedState& state, int slot, SampleArray wavelengths, std::span<const int64_t> cuts = {}) {
  auto spectrum = std::make_shared<Spectrum>(*state.Slots[slot].spectrum);
  const auto n = static_cast<int64_t>(wavelengths.size()) - 1;
  spectrum->wavelengths = std::move(wavelengths);
  spectrum->runs = WavelengthRuns(spectrum->wavelengths, n, cuts);
  spectrum->summary = LevelSummary::Build(spectrum->levelled);
  state.Slots[slot].spectrum = spectrum;
  state.Slots[slot].header = std::shared_ptr<const SpectrumHeader>(spectrum, &spectrum->header);
  return *spectrum;
}

// `spectra` spectra of n samples each over 4000-7000 Angstroms, levelled near 100
// with noise and lines, each with its default offset.
SharedState LongSpectra(int64_t n, int spectra, bool per_sample = false) {
  SharedState state;
  state.PlotWidth = static_cast<int16_t>(kWidthPx / kPixelsPerTwip);
  state.PlotHeight = static_cast<int16_t>(kHeightPx / kPixelsPerTwip);
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0, 1.5);
  const double dispersion = 3000.0 / static_cast<double>(n);
  for (int slot = 1; slot <= spectra; ++slot) {
    SampleArray levelled(static_cast<std::size_t>(n) + 1, 0.0);
    double top = 0;
    for (int64_t j = 1; j <= n; ++j) {
      const double x = static_cast<double>(j) / static_cast<double>(n);
      double v = 100 + 10 * x + noise(random);
      if (std::fabs(x - 0.2 - 0.01 * slot) < 0.001) v -= 40;
      if (std::fabs(x - 0.6) < 0.0005) v += 80;
      levelled[static_cast<std::size_t>(j)] = v;
      top = std::max(top, v);
    }
    PutLevelled(state, slot, 4000, dispersion, std::move(levelled), top);
    if (per_sample) {
      // The same samples with a wavelength each, as a table gives them.
      SampleArray wavelengths(static_cast<std::size_t>(n) + 1, 0.0);
      for (int64_t j = 1; j <= n; ++j) wavelengths[static_cast<std::size_t>(j)] = 4000 + dispersion * static_cast<double>(j);
      GiveWavelengths(state, slot, std::move(wavelengths));
    }
    state.Slots[slot].offset = spectra == 1 ? 0 : DefaultSlotOffset(slot);
  }
  state.SpectraLoaded = true;
  state.DataLambdaMin = state.PlotLambdaMin = 4000;
  state.DataLambdaMax = state.PlotLambdaMax = 7000;
  return state;
}

// Redraws `state` as the plot window does on every change: the drawing
// recorded and rasterised into a 1000 x 600-pixel buffer as it is made.
// Returns the last drawing's recording.
DisplayList TimeRedraws(benchmark::State& bench, SharedState& state) {
  QImage image(kWidthPx, kHeightPx, QImage::Format_RGB32);
  RasterSurface raster(image, kPixelsPerTwip, Qt::white);
  DisplayList list;
  RecordingRaster surface(list, raster);
  SurfaceHost host(surface);
  for (auto _ : bench) {
    RenderPlot(state, host);
    raster.Flush();
    benchmark::DoNotOptimize(image.constBits());
  }
  return list;
}

// What the plot window does on every change (the drawing recorded and
// rasterised into a 1000 x 600-pixel buffer as it is made), the whole range
// or zoomed in three times (an eighth of it, the narrowest view In allows).
void RedrawScaling(benchmark::State& bench, int64_t n, int spectra, bool zoomed, bool per_sample = false) {
  SharedState state = LongSpectra(n, spectra, per_sample);
  if (zoomed) {
    state.PlotLambdaMin = 5312.5;
    state.PlotLambdaMax = 5687.5;
  }
  const DisplayList list = TimeRedraws(bench, state);
  bench.counters["samples"] = static_cast<double>(n) * spectra;
  bench.counters["segments"] = static_cast<double>(list.LineCount());
  bench.counters["list_bytes"] = static_cast<double>(list.MemoryBytes());
}

void BM_RedrawScaling(benchmark::State& bench) { RedrawScaling(bench, bench.range(0), 1, false); }
BENCHMARK(BM_RedrawScaling)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Arg(10000000)
    ->Unit(benchmark::kMillisecond);

void BM_RedrawScalingZoomed(benchmark::State& bench) { RedrawScaling(bench, bench.range(0), 1, true); }
BENCHMARK(BM_RedrawScalingZoomed)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Arg(10000000)
    ->Unit(benchmark::kMillisecond);

// The same with a wavelength per sample (a table's spectrum): against
// BM_RedrawScaling in the same run.
void BM_RedrawScalingPerSample(benchmark::State& bench) { RedrawScaling(bench, bench.range(0), 1, false, true); }
BENCHMARK(BM_RedrawScalingPerSample)->Arg(1000)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMillisecond);

void BM_RedrawScalingPerSampleZoomed(benchmark::State& bench) { RedrawScaling(bench, bench.range(0), 1, true, true); }
BENCHMARK(BM_RedrawScalingPerSampleZoomed)->Arg(1000)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMillisecond);

// A whole echelle in one slot: 107 orders of 2048 samples, each order a
// stretch of its own overlapping its neighbours, at 1000 x 600 pixels.
void BM_RedrawWholeEchelle(benchmark::State& bench) {
  constexpr int kOrders = 107;
  constexpr int64_t kPerOrder = 2048;
  const int64_t n = kOrders * kPerOrder;
  SharedState state = LongSpectra(n, 1);
  SampleArray wavelengths(static_cast<std::size_t>(n) + 1, 0.0);
  std::vector<int64_t> cuts;
  for (int order = 0; order < kOrders; ++order) {
    // Order m covers 3800 + 50 m to 3860 + 50 m Angstroms, blue to red.
    for (int64_t i = 1; i <= kPerOrder; ++i) {
      wavelengths[static_cast<std::size_t>(order * kPerOrder + i)] =
          3800 + 50.0 * order + 60.0 * static_cast<double>(i) / kPerOrder;
    }
    if (order > 0) cuts.push_back(order * kPerOrder + 1);
  }
  Spectrum& spectrum = GiveWavelengths(state, 1, std::move(wavelengths), cuts);
  spectrum.lambda_start = 3800;
  spectrum.lambda_end = 3860 + 50.0 * (kOrders - 1);
  state.DataLambdaMin = state.PlotLambdaMin = spectrum.lambda_start;
  state.DataLambdaMax = state.PlotLambdaMax = spectrum.lambda_end;
  const DisplayList list = TimeRedraws(bench, state);
  bench.counters["samples"] = static_cast<double>(n);
  bench.counters["segments"] = static_cast<double>(list.LineCount());
}
BENCHMARK(BM_RedrawWholeEchelle)->Unit(benchmark::kMillisecond);

void BM_RedrawSixteenMillion(benchmark::State& bench) { RedrawScaling(bench, 1000000, 16, false); }
BENCHMARK(BM_RedrawSixteenMillion)->Unit(benchmark::kMillisecond);

void BM_RedrawSixteenMillionZoomed(benchmark::State& bench) { RedrawScaling(bench, 1000000, 16, true); }
BENCHMARK(BM_RedrawSixteenMillionZoomed)->Unit(benchmark::kMillisecond);

// The renderer alone, onto a surface that discards everything: the share of
// the redraw spent computing coordinates and labels.
void RenderCoreOnly(benchmark::State& bench) {
  class NullSurface : public DrawingSurface {
   public:
    void Clear() override {}
    void SetForeColor(int32_t) override {}
    void Line(float x1, float, float, float) override { benchmark::DoNotOptimize(x1); }
    void SetLabel(PlotLabel, float, float, const std::string&) override {}
  };
  SharedState state = SixteenSpectra();
  NullSurface surface;
  SurfaceHost host(surface);
  for (auto _ : bench) RenderPlot(state, host);
}
void BM_RenderPlot_CoreOnly(benchmark::State& bench) { RenderCoreOnly(bench); }
BENCHMARK(BM_RenderPlot_CoreOnly)->Unit(benchmark::kMillisecond);

// The baseline: one QPainter call per segment, a 1-pixel pen without
// antialiasing at whole device pixels (the picture the span surface must
// reproduce exactly).
class PainterPerSegmentSurface : public DrawingSurface {
 public:
  explicit PainterPerSegmentSurface(QImage& image) : image_(image), painter_(&image) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
  }
  void Clear() override { image_.fill(Qt::white); }
  void SetForeColor(int32_t bgr) override { painter_.setPen(QPen(ColorFromBgr(bgr), 1)); }
  void Line(float x1, float y1, float x2, float y2) override {
    painter_.drawLine(QPoint(RasterSurface::ToPixel(x1, kPixelsPerTwip), RasterSurface::ToPixel(y1, kPixelsPerTwip)),
                      QPoint(RasterSurface::ToPixel(x2, kPixelsPerTwip), RasterSurface::ToPixel(y2, kPixelsPerTwip)));
  }
  void SetLabel(PlotLabel, float, float, const std::string&) override {}

 private:
  QImage& image_;
  QPainter painter_;
};

void BM_FullRedraw_PainterPerSegment(benchmark::State& bench) {
  SharedState state = SixteenSpectra();
  QImage image(kWidthPx, kHeightPx, QImage::Format_RGB32);
  PainterPerSegmentSurface surface(image);
  SurfaceHost host(surface);
  for (auto _ : bench) {
    RenderPlot(state, host);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_FullRedraw_PainterPerSegment)->Unit(benchmark::kMillisecond);

// The vector path used for printing and scaled rendering (float lines,
// a pen one logical pixel wide), for reference.
void BM_FullRedraw_PainterSurface(benchmark::State& bench) {
  SharedState state = SixteenSpectra();
  QImage image(kWidthPx, kHeightPx, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  PainterSurface surface(painter, kPixelsPerTwip, 1.0, QRectF(0, 0, kWidthPx, kHeightPx), Qt::white);
  SurfaceHost host(surface);
  for (auto _ : bench) {
    RenderPlot(state, host);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_FullRedraw_PainterSurface)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillon

BENCHMARK_MAIN();
