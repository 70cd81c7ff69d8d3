#include "session/help_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

const std::array<int16_t, kHelpParagraphs> kLengths = {418, 247, 300};

TEST(HelpText, ParagraphsAreBuiltFromTheirPieces) {
  const auto paragraphs = BuildHelpParagraphs();
  EXPECT_EQ(HelpTitle(), "Help - Quillon");
  EXPECT_EQ(paragraphs[0].size(), 418u);
  EXPECT_EQ(paragraphs[1].size(), 247u);
  EXPECT_EQ(paragraphs[2].size(), 300u);

  EXPECT_EQ(paragraphs[0].rfind("The purpose of this program is to display up to ten (10)", 0), 0u);
  EXPECT_NE(paragraphs[0].find("single plot.  You will be able"), std::string::npos);
  EXPECT_NE(paragraphs[0].find("(resp.).  Further analysis tools are planned."), std::string::npos);
  EXPECT_NE(paragraphs[1].find("wavelenth scale calibrated and rectified.  These would be"), std::string::npos);
  // The second piece of paragraph 2 keeps its closing blank.
  EXPECT_EQ(paragraphs[1].substr(paragraphs[1].size() - 7), "page). ");
  EXPECT_NE(paragraphs[2].find("be CRVAL1 and CD1_1, respectively.  Therefore"), std::string::npos);
  EXPECT_EQ(paragraphs[2].substr(paragraphs[2].size() - 16), "a later version.");
}

struct LayoutCase {
  double width;
  double label_width;
  std::array<int32_t, 3> tops;
  int16_t height;
};

class HelpLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(HelpLayoutTest, TopsAndHeightFollowTheWidth) {
  const LayoutCase& c = GetParam();
  const HelpLayout layout = ComputeHelpLayout(c.width, kLengths);
  EXPECT_DOUBLE_EQ(layout.label_width, c.label_width);
  EXPECT_EQ(layout.tops, c.tops);
  EXPECT_EQ(layout.window_height, c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, HelpLayoutTest,
    ::testing::Values(LayoutCase{10000, 9500, {400, 1580, 2400}, 4230},
                      LayoutCase{5000, 4500, {400, 2558, 3956}, 6160},
                      // 418 x 20000 / 7500 = 1114.67 rounds up; the height divides by 8000.
                      LayoutCase{8000, 7500, {400, 1815, 2774}, 4712},
                      // Narrow windows: the height is clamped to 16 bits, nothing overflows.
                      LayoutCase{600, 100, {400, 84300, 134000}, 32767},
                      LayoutCase{500, 1, {400, 8360700, 13301000}, 32767},
                      LayoutCase{0, 1, {400, 8360700, 13301000}, 32767},
                      LayoutCase{-3000, 1, {400, 8360700, 13301000}, 32767}));

TEST(HelpLayout, LongestTextsInTheNarrowestWindowStayInRange) {
  const HelpLayout layout = ComputeHelpLayout(1, {32767, 32767, 32767});
  EXPECT_EQ(layout.tops[1], 655340700);
  EXPECT_EQ(layout.tops[2], 1310681000);
  EXPECT_EQ(layout.window_height, 32767);
}

// Records what the logic asks of the help window.
class RecordingHelpView : public HelpView {
 public:
  std::vector<std::string> calls;
  std::array<std::string, 17> paragraphs;
  HelpLayout layout;

  void ApplyPosition(double l, double t) override { calls.push_back("pos " + Str(l) + "," + Str(t)); }
  void ApplySize(double w, double h) override { calls.push_back("size " + Str(w) + "x" + Str(h)); }
  void ApplyTexts(const std::string& title, const std::array<std::string, 17>& texts) override {
    calls.push_back("texts " + title);
    paragraphs = texts;
  }
  void ApplyLayout(const HelpLayout& l) override {
    layout = l;
    calls.push_back("layout " + Str(l.tops[2]));
  }
  static std::string Str(double v) { return std::to_string(static_cast<long>(v)); }
};

struct HelpFixture {
  SharedState state;
  HelpWindowMemory memory;
  RecordingHelpView view;
};

TEST(HelpWindow, FirstLoadLaysOutOnceAndSecondPassEnds) {
  HelpFixture f;
  f.state.HelpLeft = 800;
  f.state.HelpTop = 900;
  HelpWindowLogic logic(f.state, f.memory, f.view);
  logic.Load();

  // Before the first load the layout flag is clear, so the stored size raises
  // nothing; then one layout sets the computed height, and the pass it raises
  // lays out again and finds the same height.
  EXPECT_EQ(f.view.calls, (std::vector<std::string>{"pos 800,900", "size 10000x500", "texts Help - Quillon",
                                                    "layout 2400", "size 10000x4230", "layout 2400"}));
  EXPECT_TRUE(f.memory.laid_out);
  EXPECT_EQ(f.memory.paragraph_count, 3);
  EXPECT_EQ(f.memory.text_length[1], 418);
  EXPECT_EQ(f.memory.text_length[2], 247);
  EXPECT_EQ(f.memory.text_length[3], 300);
  EXPECT_EQ(f.view.paragraphs[2], BuildHelpParagraphs()[1]);
  EXPECT_EQ(logic.Height(), 4230);
}

TEST(HelpWindow, HeightFollowsWidthAndTallerWindowSnapsBack) {
  HelpFixture f;
  HelpWindowLogic logic(f.state, f.memory, f.view);
  logic.Load();

  logic.ResizedByUser(10000, 9000, false);
  EXPECT_EQ(logic.Height(), 4230);
  EXPECT_EQ(f.view.calls.back(), "layout 2400");
  EXPECT_EQ(f.view.calls[f.view.calls.size() - 2], "size 10000x4230");

  logic.ResizedByUser(5000, 4230, false);
  EXPECT_EQ(logic.Height(), 6160);
  EXPECT_EQ(logic.Layout().tops, (std::array<int32_t, 3>{400, 2558, 3956}));

  const std::size_t calls = f.view.calls.size();
  logic.ResizedByUser(5000, 100, true);  // minimised: ignored
  EXPECT_EQ(f.view.calls.size(), calls);
  EXPECT_EQ(logic.Height(), 6160);
}

TEST(HelpWindow, UnloadStoresGeometryAndReloadLaysOutAtOnce) {
  HelpFixture f;
  {
    HelpWindowLogic logic(f.state, f.memory, f.view);
    logic.Load();
    logic.ResizedByUser(5000, 6160, false);
    logic.Unload(1234.5, 70000);
  }
  EXPECT_EQ(f.state.HelpLeft, 1234);
  EXPECT_EQ(f.state.HelpTop, 32767);
  EXPECT_EQ(f.state.HelpWidth, 5000);
  EXPECT_EQ(f.state.HelpHeight, 6160);

  // The layout flag outlives the window: the next load's stored size lays out
  // at once, and the height is already the computed one.
  f.view.calls.clear();
  HelpWindowLogic again(f.state, f.memory, f.view);
  again.Load();
  EXPECT_EQ(f.view.calls, (std::vector<std::string>{"pos 1234,32767", "size 5000x6160", "layout 3956",
                                                    "texts Help - Quillon", "layout 3956"}));
  EXPECT_EQ(again.Height(), 6160);
}

TEST(HelpWindow, NarrowWindowStaysWithinSixteenBits) {
  HelpFixture f;
  f.state.HelpWidth = 300;
  HelpWindowLogic logic(f.state, f.memory, f.view);
  logic.Load();
  EXPECT_EQ(logic.Height(), 32767);
  EXPECT_EQ(logic.Layout().label_width, 1);
  logic.Unload(0, 0);
  EXPECT_EQ(f.state.HelpHeight, 32767);
}

}  // namespace
}  // namespace quillon
