#include "session/plot_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace quillon {
namespace {

SharedState DataRange(double lo, double hi) {
  SharedState state;
  state.DataLambdaMin = lo;
  state.DataLambdaMax = hi;
  ShowFullRange(state);
  return state;
}

void SetView(SharedState& state, double lo, double hi) {
  state.PlotLambdaMin = lo;
  state.PlotLambdaMax = hi;
  state.PlotLambdaSpan = hi - lo;
}

// ---- The zoom sequence over 4000-7000 -------------------------------------------

TEST(PlotViewTest, ZoomSequenceAndScrollBar) {
  SharedState state = DataRange(4000, 7000);
  struct Step {
    double lo, hi;
    ScrollBarSettings bar;
  };
  const Step steps[] = {
      {4000, 7000, {5500, 5500, 5500, 300, 3000}},
      {4750, 6250, {4750, 6250, 5500, 150, 1500}},
      {5125, 5875, {4375, 6625, 5500, 75, 750}},
      // 4187.5 and 6812.5 go to the even neighbours, 37.5 to 38.
      {5312.5, 5687.5, {4188, 6812, 5500, 38, 375}},
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    if (i > 0) {
      ASSERT_TRUE(ZoomIn(state));
    }
    EXPECT_EQ(state.PlotLambdaMin, steps[i].lo);
    EXPECT_EQ(state.PlotLambdaMax, steps[i].hi);
    EXPECT_EQ(state.PlotLambdaSpan, steps[i].hi - steps[i].lo);
    EXPECT_EQ(ComputeScrollBar(state), steps[i].bar);
  }
  // A fourth In would reach a sixteenth of the range: refused whole.
  EXPECT_FALSE(ZoomIn(state));
  EXPECT_EQ(state.PlotLambdaMin, 5312.5);
  EXPECT_EQ(state.PlotLambdaMax, 5687.5);
}

TEST(PlotViewTest, ZoomInRefusedWithoutADataRange) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  const double ranges[][2] = {{6500, 6500}, {nan, 7000}, {-inf, 7000}, {4000, inf}};
  for (const auto& r : ranges) {
    SharedState state;
    state.DataLambdaMin = r[0];
    state.DataLambdaMax = r[1];
    SetView(state, 6400, 6600);
    EXPECT_FALSE(ZoomIn(state)) << r[0] << ".." << r[1];
    EXPECT_EQ(state.PlotLambdaMin, 6400);
    EXPECT_EQ(state.PlotLambdaMax, 6600);
  }
  SharedState state = DataRange(4000, 7000);
  SetView(state, nan, 6000);
  EXPECT_FALSE(ZoomIn(state)) << "an undefined view is not zoomed";
}

TEST(PlotViewTest, ZoomOutHoldsEachEndOnItsOwn) {
  struct Case {
    double data_lo, data_hi, lo, hi, want_lo, want_hi;
  };
  const Case cases[] = {
      {4000, 7000, 4100, 4400, 4000, 4550},  // held at the left end only
      {4000, 7000, 6600, 6900, 6450, 7000},  // held at the right end only
      {4000, 7000, 5000, 5400, 4800, 5600},  // free on both sides
      {4000, 7000, 4000, 7000, 4000, 7000},  // the whole range stays
      // Within a relative 1e-5 of the data start: snaps to it.
      {4000, 7000, (8000.04 + 4400) / 3, 4400, 4000, (3 * 4400 - (8000.04 + 4400) / 3) / 2},
      // Ends at 0 Angstroms: an absolute tolerance instead of a division by zero.
      {0, 1000, 100, 300, 0, 400},
      {0, 1000, (300 + 1e-5) / 3, 300, 0, (900 - (300 + 1e-5) / 3) / 2},
      {-1000, 0, -300, -100, -400, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.lo << ".." << c.hi);
    SharedState state;
    state.DataLambdaMin = c.data_lo;
    state.DataLambdaMax = c.data_hi;
    SetView(state, c.lo, c.hi);
    ZoomOut(state);
    EXPECT_DOUBLE_EQ(state.PlotLambdaMin, c.want_lo);
    EXPECT_DOUBLE_EQ(state.PlotLambdaMax, c.want_hi);
    EXPECT_EQ(state.PlotLambdaSpan, state.PlotLambdaMax - state.PlotLambdaMin);
  }
}

TEST(PlotViewTest, ZoomOutSnapsOnlyWithinTheTolerance) {
  SharedState state = DataRange(4000, 7000);
  SetView(state, (8000.1 + 4400) / 3, 4400);  // left end 4000.05: 1.25e-5 away
  ZoomOut(state);
  EXPECT_NE(state.PlotLambdaMin, 4000);
  EXPECT_NEAR(state.PlotLambdaMin, 4000.05, 1e-9);
}

TEST(PlotViewTest, ScrollingRecentresOnAWholeAngstrom) {
  SharedState state = DataRange(4000, 7000);
  SetView(state, 5000, 5750);
  CentreView(state, 6000);
  EXPECT_EQ(state.PlotLambdaMin, 5625);
  EXPECT_EQ(state.PlotLambdaMax, 6375);
  EXPECT_EQ(state.PlotLambdaSpan, 750);
}

TEST(PlotViewTest, ScrollBarBeyond16BitsAndStepsAtLeastOne) {
  struct Case {
    const char* name;
    double data_lo, data_hi, lo, hi;
    ScrollBarSettings bar;
  };
  const Case cases[] = {
      {"Infrared", 40000, 50000, 42000, 43000, {40500, 49500, 42500, 100, 1000}},
      {"UnderFiveAngstroms", 6500, 6600, 6560, 6564, {6502, 6598, 6562, 1, 4}},
      {"UnderOneAngstrom", 6500, 6600, 6562, 6562.4, {6500, 6600, 6562, 1, 1}},
      {"UndefinedView", 6500, 6600, std::nan(""), 6600, {0, 0, 0, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SharedState state;
    state.DataLambdaMin = c.data_lo;
    state.DataLambdaMax = c.data_hi;
    SetView(state, c.lo, c.hi);
    EXPECT_EQ(ComputeScrollBar(state), c.bar);
  }
}

// The scroll-bar update sets its properties in a fixed order, each from the
// state as it then is: a nested scroll handler run by Min re-centres the view
// before Value is read.
TEST(PlotViewTest, ScrollBarUpdateOrderAndNestedRecentring) {
  class Bar : public ScrollBarControl {
   public:
    explicit Bar(SharedState& state) : state_(state) {}
    void SetMin(int32_t v) override {
      calls.push_back("Min " + std::to_string(v));
      if (value_ < v) {  // clamps its position like a real scroll bar, which runs the scroll handler
        value_ = v;
        calls.push_back("Change " + std::to_string(v));
        CentreView(state_, v);
      }
    }
    void SetMax(int32_t v) override { calls.push_back("Max " + std::to_string(v)); }
    void SetValue(int32_t v) override {
      calls.push_back("Value " + std::to_string(v));
      value_ = v;
    }
    void SetSmallChange(int32_t v) override { calls.push_back("SmallChange " + std::to_string(v)); }
    void SetLargeChange(int32_t v) override { calls.push_back("LargeChange " + std::to_string(v)); }
    std::vector<std::string> calls;
    int32_t value_ = 4250;

   private:
    SharedState& state_;
  };
  SharedState state = DataRange(4000, 7000);
  SetView(state, 4100, 4400);
  ZoomOut(state);
  Bar bar(state);
  UpdateScrollBar(state, bar);
  EXPECT_EQ(bar.calls, (std::vector<std::string>{"Min 4275", "Change 4275", "Max 6725", "Value 4275",
                                                 "SmallChange 55", "LargeChange 550"}));
  EXPECT_EQ(state.PlotLambdaMin, 4000);
  EXPECT_EQ(state.PlotLambdaMax, 4550);
}

// ---- Cursor read-out -----------------------------------------------------------

// The frame of a drawing of 4000 to 7000 Angstroms in the standard window.
PlotFrame DrawnFrame() {
  PlotFrame frame;
  frame.left = 800;
  frame.right = 9585;
  frame.top = 300;
  frame.bottom = 2950;
  frame.intensity_min = -40;
  frame.intensity_max = 300;
  return frame;
}

TEST(PlotViewTest, CursorReadOutInsideAndOnTheEdges) {
  struct Case {
    const char* name;
    float x, y;
    bool inside;
    const char* wavelength;
    const char* intensity;
  };
  const Case cases[] = {
      {"OnLeftEdge", 800, 1000, false, "", ""},
      {"OnRightEdge", 9585, 1000, false, "", ""},
      {"OnTopEdge", 5000, 300, false, "", ""},
      {"OnBottomEdge", 5000, 2950, false, "", ""},
      {"LeftOfFrame", 10, 1000, false, "", ""},
      {"Centre", 800 + 8785 / 2.0f, 300 + 2650 / 2.0f, true, " 5500.00", "     130"},
      // One twip inside the bottom edge: next to the axis bottom, -40.
      {"JustAboveBottom", 5000, 2949, true, " 5434.26", "     -40"},
      {"JustRightOfLeft", 801, 1000, true, " 4000.34", "     210"},
  };
  const SharedState state = DataRange(4000, 7000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CursorReadOut r = ReadOutAt(state, DrawnFrame(), c.x, c.y);
    EXPECT_EQ(r.inside, c.inside);
    EXPECT_EQ(r.wavelength, c.wavelength);
    EXPECT_EQ(r.intensity, c.intensity);
  }
}

TEST(PlotViewTest, CursorReadOutWithoutAFrameIsOutside) {
  const SharedState state = DataRange(4000, 7000);
  PlotFrame frame = DrawnFrame();
  frame.right = frame.left;
  EXPECT_FALSE(ReadOutAt(state, frame, 800, 1000).inside);
  frame = DrawnFrame();
  frame.bottom = frame.top;
  EXPECT_FALSE(ReadOutAt(state, frame, 5000, 300).inside);
  EXPECT_FALSE(ReadOutAt(state, DrawnFrame(), std::nanf(""), 1000).inside);
}

// ---- Layout and geometry --------------------------------------------------------------

TEST(PlotViewTest, BottomRowFollowsTheHeight) {
  EXPECT_EQ(BottomTop(kBottomRow[0], 5000), 3700);   // "Wavelength"
  EXPECT_EQ(BottomTop(kBottomRow[4], 5000), 3680);   // "Zoom" sits 20 twips higher
  EXPECT_EQ(BottomTop(kBottomRow[5], 5000), 3340);   // the pan bar
  EXPECT_EQ(BottomTop(kBottomRow[6], 5000), 3580);   // "In"
  EXPECT_EQ(BottomTop(kBottomRow[5], -32768), -34428) << "no 16-bit overflow";
}

TEST(PlotViewTest, RecordedGeometryIsClampedTo16Bits) {
  const RecordedGeometry g = RecordGeometry(1234.5, -40000, 1e9, std::nan(""));
  EXPECT_EQ(g.left, 1234);
  EXPECT_EQ(g.top, -32768);
  EXPECT_EQ(g.width, 32767);
  EXPECT_EQ(g.height, 0);
}

}  // namespace
}  // namespace quillon
