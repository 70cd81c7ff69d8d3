#include "qt/raster_surface.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <random>
#include <tuple>

#include "render/display_list.h"
#include "support/plot_test_support.h"
#include "qt/twips.h"

namespace quillon {
namespace {

using testing::PutSpectrum;
using testing::RecordingHost;

// The reference picture: every recorded segment drawn by QPainter with a
// 1-pixel pen without antialiasing, at the same device pixels.
QImage PaintEverySegment(const DisplayList& list, QSize size, double scale) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  for (const RecordedLine& l : list.Lines()) {
    painter.setPen(QPen(ColorFromBgr(l.color), 1));
    painter.drawLine(QPoint(RasterSurface::ToPixel(l.x1, scale), RasterSurface::ToPixel(l.y1, scale)),
                     QPoint(RasterSurface::ToPixel(l.x2, scale), RasterSurface::ToPixel(l.y2, scale)));
  }
  return image;
}

QImage Raster(const DisplayList& list, QSize size, double scale) {
  QImage image(size, QImage::Format_RGB32);
  RasterSurface surface(image, scale, Qt::white);
  list.Replay(surface);
  return image;
}

int DifferingPixels(const QImage& a, const QImage& b) {
  int count = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
  return count;
}

// Sixteen noisy spectra of 3000 samples, the load a full redraw carries.
DisplayList SixteenNoisySpectra(double width_twips, double height_twips) {
  SharedState state;
  state.PlotWidth = static_cast<int16_t>(width_twips);
  state.PlotHeight = static_cast<int16_t>(height_twips);
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 8);
  for (int slot = 1; slot <= 16; ++slot) {
    std::vector<double> levelled(3000);
    for (std::size_t i = 0; i < levelled.size(); ++i) levelled[i] = 90 + noise(random) + (i % 500 == 0 ? 60 : 0);
    PutSpectrum(state, slot, 4000 + 13 * slot, 1, levelled, DefaultSlotOffset(slot));
  }
  state.PlotLambdaMin = 4000;
  state.PlotLambdaMax = 7200;
  RecordingHost host(state, width_twips);
  RenderPlot(state, host);
  return host.list;
}

struct ScaleCase {
  const char* name;
  double pixels_per_twip;
};

class RasterMatchesPainterTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(RasterMatchesPainterTest, SamePixelsLitAsOnePainterCallPerSegment) {
  const double scale = GetParam().pixels_per_twip;
  const DisplayList list = SixteenNoisySpectra(15000, 9000);
  ASSERT_GT(list.Lines().size(), 90000u);
  const QSize size(static_cast<int>(15000 * scale), static_cast<int>(9000 * scale));
  EXPECT_EQ(DifferingPixels(Raster(list, size, scale), PaintEverySegment(list, size, scale)), 0);
}

// A million-sample spectrum puts a thousand samples into each pixel
// column, where the surface merges lines without converting them: the
// pixels must still be those of every segment drawn on its own, whether the
// lines come from a replay or one by one as they are drawn.
TEST_P(RasterMatchesPainterTest, DenseSpectrumMergedInColumnsLightsTheSamePixels) {
  const double scale = GetParam().pixels_per_twip;
  SharedState state;
  state.PlotWidth = 6000;
  state.PlotHeight = 4500;
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0, 6);
  std::vector<double> levelled(120000);
  for (std::size_t i = 0; i < levelled.size(); ++i)
    levelled[i] = 90 + noise(random) + (i % 20000 < 300 ? -40 : 0) + (i % 33000 > 32800 ? 70 : 0);
  PutSpectrum(state, 1, 4000, 0.025, levelled, 0);
  levelled.assign(40000, 0);
  for (double& v : levelled) v = 60 + noise(random);
  PutSpectrum(state, 2, 5000, 0.01, levelled, -20);
  state.PlotLambdaMin = 4000;
  state.PlotLambdaMax = 7000;
  RecordingHost host(state, 6000);
  RenderPlot(state, host);
  const DisplayList& list = host.list;
  ASSERT_GT(list.LineCount(), 300000u);
  const QSize size(static_cast<int>(6000 * scale), static_cast<int>(4500 * scale));
  const QImage reference = PaintEverySegment(list, size, scale);
  EXPECT_EQ(DifferingPixels(Raster(list, size, scale), reference), 0);

  QImage live(size, QImage::Format_RGB32);
  {
    RasterSurface surface(live, scale, Qt::white);
    surface.Clear();
    for (const RecordedLine& l : list.Lines()) {
      surface.SetForeColor(l.color);
      surface.Line(l.x1, l.y1, l.x2, l.y2);
    }
  }
  EXPECT_EQ(DifferingPixels(live, reference), 0);
}

INSTANTIATE_TEST_SUITE_P(Scales, RasterMatchesPainterTest,
                         ::testing::Values(ScaleCase{"Dpi96", 96.0 / 1440}, ScaleCase{"Dpi144", 144.0 / 1440},
                                           ScaleCase{"Retina", 192.0 / 1440}, ScaleCase{"Dpi72", 72.0 / 1440}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Dense columns drawn from the level summary ------------------------------

// A plot host whose surface is a RasterSurface itself: the renderer sees its
// pixels and draws each dense column as one run from the level summary.
class RasterHost : public PlotHost {
 public:
  RasterHost(QImage& image, double scale, double outer_width) : surface(image, scale, Qt::white), width_(outer_width) {}
  void Show() override {}
  void SetFrame(const PlotFrame&) override {}
  DrawingSurface& Surface() override { return surface; }
  double OuterWidth() override { return width_; }
  RasterSurface surface;

 private:
  double width_;
};

// A recording that counts what the renderer hands on while drawing onto
// pixels: it passes the surface's pixel grid on.
class GridRecorder : public DisplayList {
 public:
  explicit GridRecorder(double scale) : scale_(scale) {}
  double PixelsPerTwip() const override { return scale_; }

 private:
  double scale_;
};

enum class ScaleKind { kLinear, kReversed, kLog, kLogReversed };

// Gives slot `slot` (linear from `start`, `step` apart, n samples, as
// PutSpectrum left it) the scale of `kind` over the same stretch of
// wavelengths: stored red to blue, or logarithmic.
void SetScale(SharedState& state, int slot, ScaleKind kind) {
  const double n = SlotHeader(state, slot).naxis1;
  const double start = SlotSpectrum(state, slot).lambda_start;
  const double end = SlotSpectrum(state, slot).lambda_end;
  if (kind == ScaleKind::kReversed) {
    EditSpectrum(state, slot).header.dispersion = -SlotHeader(state, slot).dispersion;
    EditSpectrum(state, slot).header.lambda0 = end;
  } else if (kind == ScaleKind::kLog || kind == ScaleKind::kLogReversed) {
    const bool down = kind == ScaleKind::kLogReversed;
    const double step = (std::log10(end) - std::log10(start)) / n;
    EditSpectrum(state, slot).scale = {std::log10(down ? end : start), down ? -step : step, true};
    const WavelengthScale& scale = SlotSpectrum(state, slot).scale;
    EditSpectrum(state, slot).lambda_start = std::min(scale.At(0), scale.At(n));
    EditSpectrum(state, slot).lambda_end = std::max(scale.At(0), scale.At(n));
  }
}

struct ColumnCase {
  const char* name;
  double lambda_min, lambda_max;  // the view
  int gap_every, gap_length;      // missing samples (NaN), none when gap_every is 0
  double dispersion_1, dispersion_2;
  ScaleKind kind = ScaleKind::kLinear;  // of slot 1
};

class SummaryMatchesEverySegmentTest : public ::testing::TestWithParam<std::tuple<ColumnCase, ScaleCase>> {};

// Two spectra with their own offsets, one of 200,000 samples 0.015
// Angstroms apart and one of 20,000 at 0.12 (from several hundred samples
// per pixel column down to less than one in the zoomed views), with lines,
// steep edges and missing stretches: drawn onto pixels from the summary, the
// picture is the picture of every segment drawn with a 1-pixel pen.
TEST_P(SummaryMatchesEverySegmentTest, SamePixelsAsEverySegment) {
  const ColumnCase& c = std::get<0>(GetParam());
  const double scale = std::get<1>(GetParam()).pixels_per_twip;
  SharedState state;
  state.PlotWidth = 9000;
  state.PlotHeight = 6000;
  std::mt19937 random(21);
  std::normal_distribution<double> noise(0, 7);
  const auto spectrum = [&](std::size_t n) {
    std::vector<double> levelled(n);
    for (std::size_t i = 0; i < n; ++i) {
      levelled[i] = 90 + noise(random) + (i % 9000 < 40 ? -60 : 0) + (i % 13001 > 12990 ? 90 : 0);
      if (c.gap_every > 0 && static_cast<int>(i % static_cast<std::size_t>(c.gap_every)) < c.gap_length)
        levelled[i] = std::nan("");
    }
    return levelled;
  };
  PutSpectrum(state, 1, 4000, c.dispersion_1, spectrum(200000), -20);
  PutSpectrum(state, 2, 4100, c.dispersion_2, spectrum(20000), 15);
  SetScale(state, 1, c.kind);
  state.PlotLambdaMin = c.lambda_min;
  state.PlotLambdaMax = c.lambda_max;

  RecordingHost every(state, 9000);
  RenderPlot(state, every);
  const QSize size(static_cast<int>(9000 * scale), static_cast<int>(6000 * scale));
  const QImage reference = PaintEverySegment(every.list, size, scale);

  QImage image(size, QImage::Format_RGB32);
  {
    RasterHost host(image, scale, 9000);
    RenderPlot(state, host);
  }
  EXPECT_EQ(DifferingPixels(image, reference), 0);

  // The same drawing recorded and replayed (the window's repaint) is the
  // same picture, and the recording holds a few lines per pixel column.
  GridRecorder recorder(scale);
  struct Host : PlotHost {
    explicit Host(DrawingSurface& s) : s_(s) {}
    void Show() override {}
    void SetFrame(const PlotFrame&) override {}
    DrawingSurface& Surface() override { return s_; }
    double OuterWidth() override { return 9000; }
    DrawingSurface& s_;
  } host(recorder);
  RenderPlot(state, host);
  EXPECT_EQ(DifferingPixels(Raster(recorder, size, scale), reference), 0);
  if (c.gap_every == 0 || c.gap_length * 50 < c.gap_every) {
    EXPECT_LT(recorder.LineCount(), 8u * static_cast<std::size_t>(size.width()) + 200);
  }
}

const ColumnCase kColumnCases[] = {
    {"WholeRange", 4000, 7000, 0, 0, 0.015, 0.12},
    {"ZoomedMixed", 4500, 4560, 0, 0, 0.015, 0.12},
    {"ZoomedSparse", 4400.3, 4402.9, 0, 0, 0.015, 0.12},
    {"OffsetView", 3850.7, 4170.2, 0, 0, 0.015, 0.12},
    {"MissingStretches", 4000, 7000, 2500, 300, 0.015, 0.12},
    {"MissingStretchesZoomed", 4030, 4060, 2500, 300, 0.015, 0.12},
    {"MissingSingles", 4000, 7000, 97, 1, 0.015, 0.12},
    {"EveryOtherMissing", 4000, 7000, 2, 1, 0.015, 0.12},
    {"NearlyOnePerColumn", 4000, 7000, 0, 0, 0.0151, 0.151},
    {"Reversed", 4000, 7000, 2500, 300, 0.015, 0.12, ScaleKind::kReversed},
    {"ReversedZoomed", 4230.4, 4290.9, 0, 0, 0.015, 0.12, ScaleKind::kReversed},
    {"LogLinear", 4000, 7000, 2500, 300, 0.015, 0.12, ScaleKind::kLog},
    {"LogLinearZoomed", 6100.5, 6180, 0, 0, 0.015, 0.12, ScaleKind::kLog},
    {"LogLinearReversed", 4000, 7000, 97, 1, 0.015, 0.12, ScaleKind::kLogReversed},
};

INSTANTIATE_TEST_SUITE_P(
    Views, SummaryMatchesEverySegmentTest,
    ::testing::Combine(::testing::ValuesIn(kColumnCases),
                       ::testing::Values(ScaleCase{"Dpi96", 96.0 / 1440}, ScaleCase{"Retina", 192.0 / 1440},
                                         ScaleCase{"Dpi72", 72.0 / 1440})),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

TEST(RasterSurfaceTest, ClipsSpansAndDrawsOtherLinesLikeThePainter) {
  DisplayList list;
  list.SetForeColor(0x000000FF);
  const float far = static_cast<float>(kSafeCoordinate);
  const std::vector<std::array<float, 4>> lines = {
      {-300, 150, 300, 150},  {900, 150, far, 150},    {150, -far, 150, far}, {-far, -far, far, -far},
      {1200, 1500, 1200, -300}, {45, 45, 45, 45},       {300, 600, 900, 1050}, {1485, 0, 1485, 1485},
      {0, 1485, 1485, 1485},   {1500, 30, 1600, 30},   {30, 1500, 30, 1600},
  };
  for (const auto& l : lines) list.Line(l[0], l[1], l[2], l[3]);
  const QSize size(100, 100);
  const double scale = 1.0 / 15;
  EXPECT_EQ(DifferingPixels(Raster(list, size, scale), PaintEverySegment(list, size, scale)), 0);
}

TEST(RasterSurfaceTest, ClearFillsTheBackgroundAndColoursAreBgr) {
  QImage image(20, 20, QImage::Format_RGB32);
  image.fill(Qt::black);
  RasterSurface surface(image, 1.0 / 15, QColor(255, 255, 255));
  surface.Clear();
  EXPECT_EQ(image.pixel(3, 3), qRgb(255, 255, 255));
  surface.SetForeColor(0x00FFA000);  // blue 255, green 160, red 0
  surface.Line(0, 150, 150, 150);
  EXPECT_EQ(image.pixel(5, 10), qRgb(0, 160, 255));
}

TEST(RasterSurfaceTest, PixelOfATwipPosition) {
  struct Case {
    float twips;
    int pixel;
  };
  const Case cases[] = {{0, 0}, {7, 0}, {7.5f, 1}, {800, 53}, {-7, 0}, {-8, -1}, {1e30f, 16777216}, {-1e30f, -16777216}};
  for (const Case& c : cases) EXPECT_EQ(RasterSurface::ToPixel(c.twips, 1.0 / 15), c.pixel) << c.twips;
}

}  // namespace
}  // namespace quillon
