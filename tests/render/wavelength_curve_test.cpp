// The renderer places each slot's samples by its wavelength scale: spectra
// stored red to blue and logarithmic scales at their true wavelengths,
// missing samples as breaks. (That linear spectra are drawn exactly as
// before is checked against recorded pictures: recorded_picture_test.cpp.)
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "render/display_list.h"
#include "render/renderer.h"
#include "support/plot_test_support.h"

namespace quillon {
namespace {

using testing::PutSpectrum;
using testing::RecordingHost;

constexpr int32_t kRed = 0x000000FF;  // slot 1

SharedState StandardState() {
  SharedState state;
  state.PlotWidth = 10000;
  state.PlotHeight = 5000;
  return state;
}

std::vector<RecordedLine> CurveLines(const DisplayList& list, int32_t color) {
  std::vector<RecordedLine> out;
  for (const RecordedLine& l : list.Lines())
    if (l.color == color) out.push_back(l);
  if (!out.empty()) out.pop_back();  // the zero-level marker
  return out;
}

// ---- The scale itself ---------------------------------------------------------

TEST(WavelengthScaleTest, AtAndPixelAtAreInverseForEveryKindOfScale) {
  const WavelengthScale scales[] = {
      {4000, 2, false}, {5000, -1.5, false}, {std::log10(3800.0), 1e-4, true}, {std::log10(9000.0), -2e-5, true}};
  for (const WavelengthScale& s : scales) {
    for (double p : {0.0, 1.0, 17.5, 2999.0}) {
      EXPECT_NEAR(s.PixelAt(s.At(p)), p, 1e-7) << s.origin << " " << s.step;
    }
  }
  EXPECT_EQ((WavelengthScale{4000, 2, false}).At(3), 4006);
  EXPECT_DOUBLE_EQ((WavelengthScale{3.6, 0.001, true}).At(100), std::pow(10.0, 3.7));
  EXPECT_TRUE((WavelengthScale{5000, -1, false}).Descending());
  // Reversed: position k of the result is pixel n - k of the original.
  const WavelengthScale down{5000, -2, false};
  const WavelengthScale up = down.Reversed(100);
  EXPECT_FALSE(up.Descending());
  for (double k : {0.0, 1.0, 40.0, 100.0}) EXPECT_EQ(up.At(k), down.At(100 - k));
  const WavelengthScale log_down{3.8, -1e-4, true};
  EXPECT_NEAR(log_down.Reversed(50).At(10), log_down.At(40), 1e-9);
}

TEST(WavelengthScaleTest, ALinearSlotIsDescribedByItsSharedFields) {
  SharedState state;
  PutSpectrum(state, 3, 4000, 2, std::vector<double>(10, 1.0));
  EXPECT_EQ(SlotSpectrum(state, 3).DrawnScale(), (WavelengthScale{4000, 2, false}));
  // Stored red to blue: pixel 0 is the long-wavelength end.
  EditSpectrum(state, 3).header.dispersion = -2;
  EditSpectrum(state, 3).lambda_start = 3980;
  EditSpectrum(state, 3).lambda_end = 4000;
  EXPECT_EQ(SlotSpectrum(state, 3).DrawnScale(), (WavelengthScale{4000, -2, false}));
  EditSpectrum(state, 3).scale = {3.5, 1e-4, true};
  EXPECT_EQ(SlotSpectrum(state, 3).DrawnScale(), (WavelengthScale{3.5, 1e-4, true}));
}

// ---- Spectra stored red to blue -----------------------------------------------

// A spectrum stored red to blue is drawn exactly as the same samples stored
// blue to red, inside the frame.
TEST(WavelengthCurveTest, ADescendingSpectrumIsDrawnAsItsAscendingTwin) {
  const std::vector<double> samples = {10, 80, 30, 55, std::nan(""), 60, 20, 95};
  std::vector<double> reversed(samples.rbegin(), samples.rend());
  const double n = static_cast<double>(samples.size());
  for (const auto& [min, max] : {std::pair{4990.0, 5020.0}, std::pair{4995.0, 5005.0}, std::pair{5003.0, 5030.0}}) {
    SCOPED_TRACE(min);
    SharedState down = StandardState();
    PutSpectrum(down, 1, 5016, -2, samples);  // pixel 0 at 5016, sample 8 at 5000
    EditSpectrum(down, 1).lambda_start = 5016 - 2 * n;
    EditSpectrum(down, 1).lambda_end = 5016;
    SharedState up = StandardState();
    PutSpectrum(up, 1, 5000, 2, reversed);
    for (SharedState* s : {&down, &up}) {
      s->PlotLambdaMin = min;
      s->PlotLambdaMax = max;
    }
    RecordingHost down_host(down), up_host(up);
    RenderPlot(down, down_host);
    RenderPlot(up, up_host);
    EXPECT_EQ(down_host.list.Lines(), up_host.list.Lines());
    for (const RecordedLine& l : CurveLines(down_host.list, kRed)) {
      EXPECT_GE(std::min(l.x1, l.x2), 800);
      EXPECT_LE(std::max(l.x1, l.x2), 9585 + 0.5 * 8786 * 2 / (max - min) + 1) << "within half a step of the frame";
    }
  }
}

// ---- Logarithmic scales -------------------------------------------------------

TEST(WavelengthCurveTest, ALogarithmicSpectrumStepsWhereItsSamplesLie) {
  for (double sign : {1.0, -1.0}) {
    SCOPED_TRACE(sign);
    SharedState state = StandardState();
    const int n = 200;
    std::vector<double> levelled(n);
    for (int i = 0; i < n; ++i) levelled[static_cast<std::size_t>(i)] = 50 + 40 * std::sin(i / 7.0);
    PutSpectrum(state, 1, 0, 0, levelled);
    const WavelengthScale scale = sign > 0 ? WavelengthScale{3.6, 0.002, true}
                                           : WavelengthScale{3.6 + 0.002 * n, -0.002, true};
    EditSpectrum(state, 1).scale = scale;
    EditSpectrum(state, 1).header.dispersion = (scale.At(n) - scale.At(0)) / n;
    EditSpectrum(state, 1).lambda_start = std::min(scale.At(0), scale.At(n));
    EditSpectrum(state, 1).lambda_end = std::max(scale.At(0), scale.At(n));
    state.PlotLambdaMin = SlotSpectrum(state, 1).lambda_start;
    state.PlotLambdaMax = SlotSpectrum(state, 1).lambda_end;
    RecordingHost host(state);
    RenderPlot(state, host);
    const std::vector<RecordedLine> lines = CurveLines(host.list, kRed);
    ASSERT_EQ(lines.size(), 2u * n - 1);
    const double span = state.PlotLambdaMax - state.PlotLambdaMin;
    const auto xc = [&](double v) { return (v - state.PlotLambdaMin) / span * 8786 + 800; };
    // Step k runs to the wavelength of its sample; positions rise with wavelength.
    for (int k = 1; k <= n; ++k) {
      const double lambda = std::pow(10.0, 3.6 + 0.002 * k);
      const RecordedLine& step = lines[static_cast<std::size_t>(2 * (k - 1))];
      EXPECT_NEAR(step.x2, xc(lambda), 0.01) << k;
      const double y = step.y1;
      const int sample = sign > 0 ? k : n + 1 - k;
      EXPECT_NEAR(y, 2950 - (levelled[static_cast<std::size_t>(sample - 1)] + 40) / (host.frame.intensity_max + 40) * 2650,
                  0.01);
    }
    EXPECT_NEAR(lines.front().x1, 800, 0.01);
    EXPECT_NEAR(lines.back().x2, 9586, 0.01);

    // Zoomed into the middle: the first step starts at the frame's edge and
    // ends at the first sample inside the view.
    state.PlotLambdaMin = std::pow(10.0, 3.6 + 0.002 * 50.3);
    state.PlotLambdaMax = std::pow(10.0, 3.6 + 0.002 * 120.3);
    RenderPlot(state, host);
    const SlotPixelRange range = VisibleSamples(state, 1);
    EXPECT_EQ(range.first, 51);
    EXPECT_EQ(range.last, 120);
    const std::vector<RecordedLine> zoomed = CurveLines(host.list, kRed);
    EXPECT_NEAR(zoomed.front().x1, 800, 0.01);
    const double span2 = state.PlotLambdaMax - state.PlotLambdaMin;
    EXPECT_NEAR(zoomed.front().x2, (std::pow(10.0, 3.6 + 0.002 * 51) - state.PlotLambdaMin) / span2 * 8786 + 800,
                0.01);
  }
}

// ---- Missing samples ------------------------------------------------------------

TEST(WavelengthCurveTest, AMissingSampleBreaksTheStaircase) {
  SharedState state = StandardState();
  const double nan = std::nan("");
  PutSpectrum(state, 1, 6500, 20, {10, 20, nan, nan, 50});
  EditSpectrum(state, 1).levelled_max = 50;
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6600;
  RecordingHost host(state);
  RenderPlot(state, host);
  const std::vector<RecordedLine> lines = CurveLines(host.list, kRed);
  // Sample 1's step, the riser to 2, sample 2's step; then sample 5's step alone.
  ASSERT_EQ(lines.size(), 4u);
  const auto xc = [](double v) { return static_cast<float>((v - 6500) / 100 * 8786 + 800); };
  EXPECT_EQ(lines[0].x2, xc(6520));
  EXPECT_EQ(lines[2].x2, xc(6540));
  EXPECT_EQ(lines[3].x1, xc(6580));
  EXPECT_EQ(lines[3].x2, xc(6600));
  EXPECT_EQ(lines[3].y1, lines[3].y2);
}

// ---- A wavelength per sample ------------------------------------------------------

// Gives the spectrum in `slot` a wavelength per sample (samples 1..n as listed).
void GiveWavelengths(SharedState& state, int slot, const std::vector<double>& w) {
  Spectrum& spectrum = EditSpectrum(state, slot);
  spectrum.wavelengths.assign(1, 0.0);
  spectrum.wavelengths.insert(spectrum.wavelengths.end(), w.begin(), w.end());
}

void ExpectSameLines(const std::vector<RecordedLine>& a, const std::vector<RecordedLine>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_NEAR(a[i].x1, b[i].x1, 0.01) << i;
    EXPECT_NEAR(a[i].x2, b[i].x2, 0.01) << i;
    EXPECT_EQ(a[i].y1, b[i].y1) << i;
    EXPECT_EQ(a[i].y2, b[i].y2) << i;
  }
}

TEST(SampleWavelengthCurveTest, EvenlyPlacedSamplesDrawAsTheirScaleTwin) {
  struct Case {
    double origin, step;
    int n;
    bool log;
  };
  // Rising, falling (stored red to blue), log-spaced (SDSS's loglam), and
  // long enough for whole pixel columns of samples.
  for (const Case& c : {Case{5000, 2, 8, false}, Case{5016, -2, 9, false}, Case{3.58, 1e-4, 3000, true},
                        Case{4000, 0.01, 200000, false}}) {
    SCOPED_TRACE(c.n);
    std::vector<double> levelled(static_cast<std::size_t>(c.n)), w(levelled.size());
    for (int i = 0; i < c.n; ++i) {
      levelled[static_cast<std::size_t>(i)] = 50 + 40 * std::sin(i / 7.0);
      const double linear = c.origin + c.step * (i + 1);
      w[static_cast<std::size_t>(i)] = c.log ? std::pow(10.0, linear) : linear;
    }
    levelled[static_cast<std::size_t>(c.n / 3)] = std::nan("");
    SharedState twin = StandardState(), per = StandardState();
    for (SharedState* s : {&twin, &per}) {
      Spectrum& spectrum = PutSpectrum(*s, 1, c.origin, c.step, levelled);
      spectrum.scale = {c.origin, c.step, c.log};
      const double a = spectrum.scale.At(0), b = spectrum.scale.At(c.n);
      spectrum.header.dispersion = c.log ? (b - a) / c.n : c.step;
      spectrum.lambda_start = s->PlotLambdaMin = std::min(a, b);
      spectrum.lambda_end = s->PlotLambdaMax = std::max(a, b);
    }
    GiveWavelengths(per, 1, w);
    RecordingHost twin_host(twin), per_host(per);
    RenderPlot(twin, twin_host);
    RenderPlot(per, per_host);
    ExpectSameLines(per_host.list.Lines(), twin_host.list.Lines());
  }
}

TEST(SampleWavelengthCurveTest, ZoomedCurveStaysInsideTheFrame) {
  std::vector<double> levelled(50), w(50);
  for (std::size_t i = 0; i < w.size(); ++i) {
    levelled[i] = 60 + static_cast<double>(i % 5) * 5;
    w[i] = 5000 + 2.0 * static_cast<double>(i + 1);
  }
  for (bool red_to_blue : {false, true}) {
    SCOPED_TRACE(red_to_blue);
    SharedState state = StandardState();
    PutSpectrum(state, 1, 5000, 2, levelled);
    GiveWavelengths(state, 1, red_to_blue ? std::vector<double>(w.rbegin(), w.rend()) : w);
    state.PlotLambdaMin = 5011;  // inside sample 6's step
    state.PlotLambdaMax = 5041;  // inside sample 21's
    RecordingHost host(state);
    RenderPlot(state, host);
    const std::vector<RecordedLine> lines = CurveLines(host.list, kRed);
    ASSERT_EQ(lines.size(), 2u * 16 - 1);  // 16 steps, 15 risers
    for (const RecordedLine& l : lines) {
      EXPECT_GE(std::min(l.x1, l.x2), 800);
      EXPECT_LE(std::max(l.x1, l.x2), 9586);
    }
    EXPECT_EQ(lines.front().x1, 800);
    EXPECT_EQ(lines.back().x2, 9586);
  }
}

TEST(SampleWavelengthCurveTest, PiecesThatJumpBackAreNotJoined) {
  const double nan = std::nan("");
  // Two overlapping pieces, a sample without a wavelength, a last piece.
  const std::vector<double> w = {4000, 4002, 4004, 4006, 4003, 4005, 4007, nan, 4010, 4012};
  const std::vector<double> levelled = {10, 10, 10, 10, 50, 50, 50, 70, 90, 90};
  SharedState state = StandardState();
  PutSpectrum(state, 1, 3998, 2, levelled);
  GiveWavelengths(state, 1, w);
  EditSpectrum(state, 1).lambda_start = state.PlotLambdaMin = 3998;
  EditSpectrum(state, 1).lambda_end = state.PlotLambdaMax = 4012;
  RecordingHost host(state);
  RenderPlot(state, host);
  const std::vector<RecordedLine> lines = CurveLines(host.list, kRed);
  // 4 steps and 3 risers, 3 and 2, 2 and 1: nothing joins the pieces.
  ASSERT_EQ(lines.size(), 7u + 5 + 3);
  const auto xc = [](double v) { return static_cast<float>((v - 3998) / 14 * 8786 + 800); };
  EXPECT_EQ(lines[7].x1, xc(4001));  // the second piece begins a step before its first sample
  EXPECT_EQ(lines[7].x2, xc(4003));
  EXPECT_EQ(lines[12].x1, xc(4008));
  for (const RecordedLine& l : lines) {
    const bool riser = l.x1 == l.x2 && l.y1 != l.y2;
    EXPECT_FALSE(riser && (l.x1 == xc(4006) || l.x1 == xc(4007))) << "a riser across a jump";
  }
  // Found once at load, the same pieces draw the same picture.
  const std::vector<RecordedLine> found = host.list.Lines();
  EditSpectrum(state, 1).runs = WavelengthRuns(SlotSpectrum(state, 1).wavelengths, 10);
  RenderPlot(state, host);
  EXPECT_EQ(host.list.Lines(), found);
}

}  // namespace
}  // namespace quillon
