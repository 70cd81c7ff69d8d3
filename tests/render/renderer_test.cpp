#include "render/renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "render/display_list.h"
#include "support/plot_test_support.h"

namespace quillon {
namespace {

using testing::PutSpectrum;
using testing::RecordingHost;

constexpr int32_t kGrey = 0x00C0C0C0;
constexpr int32_t kBlack = 0;
constexpr int32_t kRed = 0x000000FF;  // slot 1

// ---- Tick rule -------------------------------------------------------------

struct TickCase {
  const char* name;
  double span, minimum, maximum;
  bool valid;
  float step;
  int32_t first, last;
};

class TickRuleTest : public ::testing::TestWithParam<TickCase> {};

TEST_P(TickRuleTest, StepAndIndices) {
  const TickCase& c = GetParam();
  const AxisTicks t = ComputeTicks(c.span, c.minimum, c.maximum);
  ASSERT_EQ(t.valid, c.valid);
  if (!c.valid) return;
  EXPECT_EQ(t.step, c.step);
  EXPECT_EQ(t.first, c.first);
  EXPECT_EQ(t.last, c.last);
}

const TickCase kTickCases[] = {
    // 100 keeps its own decade: step 20, both ends are ticks.
    {"Wavelength6500To6600", 100, 6500, 6600, true, 20.0f, 325, 330},
    {"Wavelength6510To6590", 80, 6510, 6590, true, 10.0f, 651, 659},
    // -50 lies below -40, so the first tick is 0.
    {"IntensityTop300", 340, -40, 300, true, 50.0f, 0, 6},
    {"IntensityTop120", 160, -40, 120, true, 20.0f, -2, 6},
    // Exactly 0.1 falls into the decade below.
    {"SpanOfOneTenth", 0.1, 0, 0.1, true, 0.01f, 0, 10},
    // A step of 0.2 at 6563 Angstroms needs indices beyond 16 bits.
    {"NarrowZoomAtHalpha", 1, 6562.5, 6563.5, true, 0.2f, 32813, 32817},
    {"InfraredWavelengths", 20000, 40000, 60000, true, 5000.0f, 8, 12},
    {"ZeroSpan", 0, 6500, 6500, false, 0, 0, 0},
    {"NegativeSpan", -100, 6600, 6500, false, 0, 0, 0},
    {"NanSpan", std::nan(""), 0, 1, false, 0, 0, 0},
    {"InfiniteSpan", std::numeric_limits<double>::infinity(), 0, 1, false, 0, 0, 0},
    {"NanMinimum", 10, std::nan(""), 10, false, 0, 0, 0},
    // Indices beyond 32 bits cannot be counted: no ticks rather than wrong ones.
    {"IndicesBeyond32Bits", 1e-9, 6563, 6563 + 1e-9, false, 0, 0, 0},
    // A span too wide for single precision has no step.
    {"SpanBeyondSinglePrecision", 1e300, -40, 1e300, false, 0, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, TickRuleTest, ::testing::ValuesIn(kTickCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Helpers over a recorded drawing ----------------------------------------

// The standard window: 10000 x 5000 twips gives the frame 800..9585 x 300..2950.
SharedState StandardState() {
  SharedState state;
  state.PlotWidth = 10000;
  state.PlotHeight = 5000;
  return state;
}

constexpr double kLeft = 800, kRight = 9585, kTop = 300, kBottom = 2950;
constexpr double kWc = kRight - kLeft + 1, kH = kBottom - kTop;  // curve width, frame height

std::vector<RecordedLine> LinesOfColor(const DisplayList& list, int32_t color) {
  std::vector<RecordedLine> out;
  for (const RecordedLine& l : list.Lines())
    if (l.color == color) out.push_back(l);
  return out;
}

RecordedLine L(double x1, double y1, double x2, double y2, int32_t color) {
  return {static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2), static_cast<float>(y2), color};
}

void ExpectAllCoordinatesSafe(const DisplayList& list) {
  for (const RecordedLine& l : list.Lines()) {
    for (float v : {l.x1, l.y1, l.x2, l.y2}) {
      ASSERT_TRUE(std::isfinite(v));
      ASSERT_LE(std::fabs(v), kSafeCoordinate);
    }
  }
}

std::vector<RecordedLine> FrameLines() {
  return {L(kLeft, kTop, kRight, kTop, kBlack), L(kRight, kTop, kRight, kBottom, kBlack),
          L(kRight, kBottom, kLeft, kBottom, kBlack), L(kLeft, kBottom, kLeft, kTop, kBlack)};
}

// ---- The whole drawing --------------------------------------------------------

TEST(RenderPlotTest, DoesNothingUntilASpectrumIsLoaded) {
  SharedState state = StandardState();
  state.PlotLambdaMin = 4000;
  state.PlotLambdaMax = 7000;
  RecordingHost host(state);
  RenderPlot(state, host);
  EXPECT_EQ(host.show_count, 0);
  EXPECT_EQ(host.list.ClearCount(), 0);
  EXPECT_EQ(state.PlotLambdaSpan, 0);
  EXPECT_EQ(host.frame.right, 0);
  EXPECT_FALSE(state.PlotWindowOpen);
}

TEST(RenderPlotTest, ShowsWhileBusyThenClearsAndPublishesFrame) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 20, {10, 20, 30, 40, 50});
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6600;
  RecordingHost host(state);
  RenderPlot(state, host);
  EXPECT_EQ(host.show_count, 1);
  EXPECT_TRUE(host.busy_at_show);
  EXPECT_EQ(host.frame_bottom_at_show, 2950) << "the frame is computed before the window is shown";
  EXPECT_EQ(host.clears_at_show, 0) << "cleared after showing";
  EXPECT_EQ(host.list.ClearCount(), 1);
  EXPECT_FALSE(state.RenderBusy);
  EXPECT_TRUE(state.PlotWindowOpen);
  EXPECT_EQ(state.PlotLambdaSpan, 100);
  EXPECT_EQ(host.frame.intensity_max, 50);
  EXPECT_EQ(host.frame.intensity_min, -40);
  EXPECT_EQ(host.frame.left, 800);
  EXPECT_EQ(host.frame.right, 9585);
  EXPECT_EQ(host.frame.top, 300);
  EXPECT_EQ(host.frame.bottom, 2950);
}

TEST(RenderPlotTest, RenderBusyIsClearedWhenShowingFails) {
  class ThrowingHost : public RecordingHost {
   public:
    using RecordingHost::RecordingHost;
    void Show() override { throw std::runtime_error("no window"); }
  };
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 20, {10, 20});
  ThrowingHost host(state);
  EXPECT_THROW(RenderPlot(state, host), std::runtime_error);
  EXPECT_FALSE(state.RenderBusy);
}

TEST(RenderPlotTest, WavelengthGridTicksAndFrameInOrder) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 20, {10, 20, 30, 40, 50});
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6600;
  RecordingHost host(state);
  RenderPlot(state, host);
  const auto& lines = host.list.Lines();
  ASSERT_GE(lines.size(), 18u);
  // Six ticks 6500..6600, each a grey grid line and two black ticks.
  const double xs[] = {800, 2557, 4314, 6071, 7828, 9585};
  for (int i = 0; i < 6; ++i) {
    const double x = xs[i];
    EXPECT_EQ(lines[3 * i], L(x, kTop, x, kBottom, kGrey)) << i;
    EXPECT_EQ(lines[3 * i + 1], L(x, kTop, x, kTop + 100, kBlack)) << i;
    EXPECT_EQ(lines[3 * i + 2], L(x, kBottom - 100, x, kBottom, kBlack)) << i;
  }
  // Intensity axis -40..50: step 10, ten ticks; then the frame.
  const double span_y = 90;
  for (int i = 0; i < 10; ++i) {
    const double y = kBottom - (-40 + 10.0 * i + 40) / span_y * kH;
    EXPECT_EQ(lines[18 + 3 * i], L(kLeft, y, kRight, y, kGrey)) << i;
    EXPECT_EQ(lines[18 + 3 * i + 1], L(kLeft, y, kLeft + 100, y, kBlack)) << i;
    EXPECT_EQ(lines[18 + 3 * i + 2], L(kRight, y, kRight - 100, y, kBlack)) << i;
  }
  const std::vector<RecordedLine> frame(lines.begin() + 48, lines.begin() + 52);
  EXPECT_EQ(frame, FrameLines());
}

TEST(RenderPlotTest, StaircaseThroughEverySampleAndZeroMarker) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 20, {10, 20, 30, 40, 50});
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6600;
  RecordingHost host(state);
  RenderPlot(state, host);
  const auto Y = [](double v) { return kBottom - (v + 40) / 90 * kH; };
  const auto X = [](double v) { return (v - 6500) / 100 * kWc + kLeft; };
  EXPECT_EQ(LinesOfColor(host.list, kRed),
            (std::vector<RecordedLine>{
                L(X(6500), Y(10), X(6520), Y(10), kRed), L(X(6520), Y(10), X(6520), Y(20), kRed),
                L(X(6520), Y(20), X(6540), Y(20), kRed), L(X(6540), Y(20), X(6540), Y(30), kRed),
                L(X(6540), Y(30), X(6560), Y(30), kRed), L(X(6560), Y(30), X(6560), Y(40), kRed),
                L(X(6560), Y(40), X(6580), Y(40), kRed), L(X(6580), Y(40), X(6580), Y(50), kRed),
                L(X(6580), Y(50), X(6600), Y(50), kRed),
                // zero level of the slot, in the margin right of the frame
                L(kRight, Y(0), 10000, Y(0), kRed)}));
  // The last step ends one twip right of the frame: curves use the width + 1.
  EXPECT_EQ(X(6600), 9586);
}

TEST(RenderPlotTest, SpectrumStartingInsideTheRange) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 25, {10, 20, 30, 40});
  state.PlotLambdaMin = 6400;
  state.PlotLambdaMax = 6600;
  RecordingHost host(state);
  RenderPlot(state, host);
  const auto curve = LinesOfColor(host.list, kRed);
  ASSERT_EQ(curve.size(), 8u);
  const auto X = [](double v) { return (v - 6400) / 200 * kWc + kLeft; };
  const double y1 = kBottom - (10 + 40) / 80.0 * kH;  // axis -40..40
  // One step to the left of its first sample, at the height of sample 1.
  EXPECT_EQ(curve[0], L(X(6500), y1, X(6525), y1, kRed));
}

TEST(RenderPlotTest, ZoomedIntoASpectrumStartsAtTheFrameEdge) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 20, {10, 20, 30, 40, 50});
  state.PlotLambdaMin = 6540;  // first sample inside: round(1 + 5 x 40/100) = 3
  state.PlotLambdaMax = 6600;
  RecordingHost host(state);
  RenderPlot(state, host);
  const SlotPixelRange range = VisibleSamples(state, 1);
  EXPECT_EQ(range.first, 3);
  EXPECT_EQ(range.last, 5);
  const auto curve = LinesOfColor(host.list, kRed);
  ASSERT_EQ(curve.size(), 6u);  // steps 3, 4, 5, risers 3-4, 4-5, marker
  const auto X = [](double v) { return (v - 6540) / 60 * kWc + kLeft; };
  const double y3 = kBottom - (30 + 40) / 90.0 * kH;
  EXPECT_EQ(curve[0], L(kLeft, y3, X(6560), y3, kRed));
}

TEST(RenderPlotTest, RangeEndingBeforeTheLastSampleEndsWithARiser) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 20, {10, 20, 30, 40, 50});
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6570;  // last = round(5 x 70/100) = round(3.5) = 4
  RecordingHost host(state);
  RenderPlot(state, host);
  EXPECT_EQ(VisibleSamples(state, 1).last, 4);
  const auto curve = LinesOfColor(host.list, kRed);
  ASSERT_EQ(curve.size(), 9u);  // 4 steps, 4 risers, marker
  const RecordedLine riser = curve[7];
  EXPECT_EQ(riser.x1, riser.x2);
  EXPECT_EQ(riser.y2, static_cast<float>(kBottom - (50 + 40) / 90.0 * kH)) << "up to sample 5";
}

TEST(RenderPlotTest, SingleSampleDrawsOneStepAndItsMarker) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 100, {30});
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6600;
  RecordingHost host(state);
  RenderPlot(state, host);
  const auto curve = LinesOfColor(host.list, kRed);
  ASSERT_EQ(curve.size(), 2u);
  EXPECT_EQ(curve[0].y1, curve[0].y2);
  EXPECT_EQ(curve[0].x1, static_cast<float>(kLeft));
  EXPECT_EQ(curve[0].x2, static_cast<float>(kLeft + kWc));
}

TEST(RenderPlotTest, SpectraOutsideTheViewDrawOnlyTheirMarkers) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 20, {10, 20, 30, 40, 50});
  PutSpectrum(state, 2, 7000, 20, {10, 20, 30}, 0);           // just right of the view
  PutSpectrum(state, 3, 1.0e9, 20, {10, 20, 30}, 0);          // far right: indices beyond 16 bits
  PutSpectrum(state, 4, -1.0e9, 20, {10, 20, 30}, 0);         // far left
  PutSpectrum(state, 5, 6550, 0, {10, 20, 30}, 0);            // no dispersion, inside the view
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6600;
  RecordingHost host(state);
  RenderPlot(state, host);
  for (int slot : {2, 3, 4}) {
    EXPECT_TRUE(VisibleSamples(state, slot).empty()) << slot;
    const auto lines = LinesOfColor(host.list, state.Slots[slot].color);
    ASSERT_EQ(lines.size(), 1u) << slot;
    EXPECT_EQ(lines[0].x1, static_cast<float>(kRight)) << "the zero-level marker";
    EXPECT_EQ(lines[0].x2, 10000.0f);
  }
  ExpectAllCoordinatesSafe(host.list);
}

TEST(RenderPlotTest, LaterSlotsAreDrawnOverEarlierOnes) {
  SharedState state = StandardState();
  PutSpectrum(state, 3, 6500, 20, {10, 20});
  PutSpectrum(state, 1, 6500, 20, {10, 20});
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6540;
  RecordingHost host(state);
  RenderPlot(state, host);
  const auto& lines = host.list.Lines();
  const auto last_red = std::find_if(lines.rbegin(), lines.rend(), [](auto& l) { return l.color == kRed; });
  const auto first_slot3 =
      std::find_if(lines.begin(), lines.end(), [&](auto& l) { return l.color == state.Slots[3].color; });
  ASSERT_NE(first_slot3, lines.end());
  EXPECT_LT(std::distance(lines.begin(), last_red.base()) - 1, std::distance(lines.begin(), first_slot3));
}

// ---- Labels --------------------------------------------------------------------

TEST(RenderPlotTest, AxisEndLabels) {
  SharedState state = StandardState();
  // Levelled maximum 300 with offset 0: the intensity axis runs -40..300.
  PutSpectrum(state, 1, 6500, 20, {100, 300, 200, 150, 120});
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6600;
  RecordingHost host(state, 9000);
  RenderPlot(state, host);
  const auto Y = [](double v) { return kBottom - (v + 40) / 340 * kH; };
  struct Expected {
    PlotLabel label;
    double left, top;
    const char* caption;
  };
  const Expected expected[] = {
      {PlotLabel::FirstWavelength, kLeft - 200, 3000, " 6500"},
      {PlotLabel::LastWavelength, kLeft + kWc - 200, 3000, " 6600"},
      {PlotLabel::WavelengthTitle, 0.7 * 9000, 3200, "Wavelength /Angstroms"},
      {PlotLabel::TopIntensity, 0, Y(300) - 100, "   300"},
      {PlotLabel::BottomIntensity, 0, Y(0) - 100, "     0"},
      {PlotLabel::IntensityStep, 0, 0.6 * kH + kTop, " 50"},
  };
  for (const Expected& e : expected) {
    const RecordedLabel& got = host.list.Label(e.label);
    SCOPED_TRACE(e.caption);
    EXPECT_TRUE(got.set);
    EXPECT_EQ(got.left, static_cast<float>(e.left));
    EXPECT_EQ(got.top, static_cast<float>(e.top));
    EXPECT_EQ(got.caption, e.caption);
  }
}

TEST(RenderPlotTest, LabelCaptionsForOtherRanges) {
  struct Case {
    double lambda_min, lambda_max, top;
    const char* label1;
    const char* label2;
    const char* label8;
    const char* label6;
  };
  const Case cases[] = {
      {6510, 6590, 120, " 6510", " 6590", "   -40", " 20"},
      // First 6 characters, the leading blank included.
      {6562.5, 6563.5, 120, " 6562.", " 6563.", "   -40", " 20"},
  };
  for (const Case& c : cases) {
    SharedState state = StandardState();
    PutSpectrum(state, 1, 6000, 1, std::vector<double>(1000, c.top));
    state.PlotLambdaMin = c.lambda_min;
    state.PlotLambdaMax = c.lambda_max;
    RecordingHost host(state);
    RenderPlot(state, host);
    SCOPED_TRACE(c.label1);
    EXPECT_EQ(host.list.Label(PlotLabel::FirstWavelength).caption, c.label1);
    EXPECT_EQ(host.list.Label(PlotLabel::LastWavelength).caption, c.label2);
    EXPECT_EQ(host.list.Label(PlotLabel::BottomIntensity).caption, c.label8);
    EXPECT_EQ(host.list.Label(PlotLabel::IntensityStep).caption, c.label6);
  }
}

TEST(RenderPlotTest, NarrowZoomAtLongWavelengthsDrawsItsTicks) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6000, 1, std::vector<double>(1000, 100));
  state.PlotLambdaMin = 6562.5;
  state.PlotLambdaMax = 6563.5;
  RecordingHost host(state);
  RenderPlot(state, host);
  int vertical_grid = 0;
  for (const RecordedLine& l : LinesOfColor(host.list, kGrey))
    if (l.x1 == l.x2) ++vertical_grid;
  EXPECT_EQ(vertical_grid, 5);  // 6562.6 .. 6563.4 in steps of 0.2
}

// ---- Spans without a picture and values beyond single precision ---------------

TEST(RenderPlotTest, SpansWithoutAPictureDrawTheFrameOnly) {
  struct Case {
    const char* name;
    double lambda_min, lambda_max;
    int16_t offset;
  };
  const Case cases[] = {
      {"ZeroWavelengthSpan", 6500, 6500, 0},
      {"NegativeWavelengthSpan", 6600, 6500, 0},
      {"NanWavelengths", std::nan(""), 6500, 0},
      {"InfiniteWavelengths", -std::numeric_limits<double>::infinity(), 6500, 0},
      // Levelled maximum 50 minus offset 100 lies below -40.
      {"IntensitySpanBelowZero", 6500, 6600, 100},
      {"IntensitySpanZero", 6500, 6600, 90},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SharedState state = StandardState();
    PutSpectrum(state, 1, 6500, 0, {10, 50}, c.offset);
    state.PlotLambdaMin = c.lambda_min;
    state.PlotLambdaMax = c.lambda_max;
    RecordingHost host(state);
    RenderPlot(state, host);
    ExpectAllCoordinatesSafe(host.list);
    const std::vector<RecordedLine> frame_lines = FrameLines();
    int frame = 0, other = 0;
    for (const RecordedLine& l : host.list.Lines()) {
      if (std::find(frame_lines.begin(), frame_lines.end(), l) != frame_lines.end()) {
        ++frame;
      } else {
        ++other;
      }
    }
    EXPECT_EQ(frame, 4);
    EXPECT_EQ(other, 0) << "no grid, ticks, curves or markers";
    for (PlotLabel label : {PlotLabel::FirstWavelength, PlotLabel::LastWavelength, PlotLabel::TopIntensity,
                            PlotLabel::IntensityStep, PlotLabel::BottomIntensity}) {
      EXPECT_TRUE(host.list.Label(label).set);
      EXPECT_EQ(host.list.Label(label).caption, "") << static_cast<int>(label);
    }
    EXPECT_EQ(host.list.Label(PlotLabel::WavelengthTitle).caption, "Wavelength /Angstroms");
    EXPECT_FALSE(state.RenderBusy);
  }
}

TEST(RenderPlotTest, NoSlotLoadedButFlagSetDrawsTheFrameOnly) {
  SharedState state = StandardState();
  state.SpectraLoaded = true;  // PlotIntensityMax stays -9999
  state.PlotLambdaMin = 9999;
  state.PlotLambdaMax = -9999;
  RecordingHost host(state);
  RenderPlot(state, host);
  EXPECT_EQ(host.list.Lines().size(), 4u);
  ExpectAllCoordinatesSafe(host.list);
}

TEST(RenderPlotTest, HugeAndUndefinedSamplesNeverReachTheSurface) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 20, {10, 20, 1e40, 40, 50});
  EditSpectrum(state, 1).levelled_max = 50;  // the axis from the ordinary samples
  PutSpectrum(state, 2, 6500, 20, {10, 20, std::nan(""), 40, 50});
  EditSpectrum(state, 2).levelled_max = 50;
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6600;
  RecordingHost host(state);
  RenderPlot(state, host);
  ExpectAllCoordinatesSafe(host.list);
  const auto huge = LinesOfColor(host.list, kRed);
  ASSERT_EQ(huge.size(), 10u) << "every segment is still drawn";
  EXPECT_EQ(huge[3].y2, static_cast<float>(-kSafeCoordinate)) << "the riser runs far off the frame";
  // The step at the undefined sample and the risers on either side are dropped.
  EXPECT_EQ(LinesOfColor(host.list, state.Slots[2].color).size(), 10u - 3u);
}

TEST(RenderPlotTest, ArraysShorterThanTheSampleCountAreNotOverrun) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 20, {10, 20, 30});
  EditSpectrum(state, 1).header.naxis1 = 3000;  // claims more samples than it holds
  EditSpectrum(state, 1).lambda_end = 6500 + 20 * 3000.0;
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6600;
  RecordingHost host(state);
  RenderPlot(state, host);
  EXPECT_EQ(VisibleSamples(state, 1).last, 3);
  ExpectAllCoordinatesSafe(host.list);
}

// ---- MaxPlottedIntensity -----------------------------------------------------------

TEST(MaxPlottedIntensityTest, LargestMaximumMinusOffsetOfLoadedSlots) {
  SharedState state;
  EXPECT_EQ(MaxPlottedIntensity(state), -9999);
  PutSpectrum(state, 4, 6500, 1, {150}, 0);
  EXPECT_EQ(MaxPlottedIntensity(state), 150);
  state.Slots[4].offset = -280;
  EXPECT_EQ(MaxPlottedIntensity(state), 430);
  PutSpectrum(state, 9, 6500, 1, {1000}, 0);
  state.Slots[9].loaded = false;  // unloaded slots keep their data but do not count
  EXPECT_EQ(MaxPlottedIntensity(state), 430);
}

TEST(MaxPlottedIntensityTest, RaisingAnOffsetMovesTheMarkerDown) {
  SharedState state = StandardState();
  PutSpectrum(state, 1, 6500, 20, {10, 50}, 0);
  PutSpectrum(state, 2, 6500, 20, {10, 200}, 0);  // sets the axis top
  state.PlotLambdaMin = 6500;
  state.PlotLambdaMax = 6540;
  RecordingHost host(state);
  RenderPlot(state, host);
  const float before = LinesOfColor(host.list, kRed).back().y1;
  state.Slots[1].offset = 20;
  RenderPlot(state, host);
  const float after = LinesOfColor(host.list, kRed).back().y1;
  EXPECT_NEAR(after - before, 20.0 / 240.0 * kH, 0.01);
}

}  // namespace
}  // namespace quillon
