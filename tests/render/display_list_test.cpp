// The display list keeps every line exactly as drawn, whatever the mix of
// joined staircase lines and free ones, and replays them with one colour
// setting per run of equal colour.
#include "render/display_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace quillon {
namespace {

// Records what a replay does.
class CallLog : public DrawingSurface {
 public:
  void Clear() override { calls.push_back("Clear"); }
  void SetForeColor(int32_t bgr) override { calls.push_back("Color " + std::to_string(bgr)); }
  void Line(float x1, float y1, float x2, float y2) override { lines.push_back({x1, y1, x2, y2, 0}); }
  void SetLabel(PlotLabel, float, float, const std::string&) override {}
  std::vector<std::string> calls;
  std::vector<RecordedLine> lines;
};

bool SameBits(float a, float b) { return std::isnan(a) ? std::isnan(b) : a == b && std::signbit(a) == std::signbit(b); }

TEST(DisplayListTest, KeepsEveryLineWhateverItsShape) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int> pick(0, 9);
  std::uniform_real_distribution<float> coordinate(-2000, 2000);
  DisplayList list;
  std::vector<RecordedLine> drawn;
  float x = 0, y = 0;
  int32_t color = 0x000000FF;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  list.SetForeColor(color);
  for (int i = 0; i < 5000; ++i) {
    const int kind = pick(random);
    if (kind == 0) {
      color = color == 0x000000FF ? 0x0000FF00 : 0x000000FF;
      list.SetForeColor(color);
    }
    RecordedLine line{};
    if (kind <= 3) {  // a step from where the last line ended
      line = {x, y, coordinate(random), y, color};
    } else if (kind <= 6) {  // a riser
      line = {x, y, x, coordinate(random), color};
    } else if (kind == 7) {  // a free line
      line = {coordinate(random), coordinate(random), coordinate(random), coordinate(random), color};
    } else if (kind == 8) {  // joined but slanted
      line = {x, y, coordinate(random), coordinate(random), color};
    } else {  // odd values: a point, a negative zero, an undefined end
      line = {x, y, i % 2 ? x : -0.0f, i % 3 ? nan : y, color};
    }
    list.Line(line.x1, line.y1, line.x2, line.y2);
    drawn.push_back(line);
    x = line.x2;
    y = line.y2;
  }
  const std::vector<RecordedLine> kept = list.Lines();
  ASSERT_EQ(kept.size(), drawn.size());
  ASSERT_EQ(list.LineCount(), drawn.size());
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const RecordedLine& a = kept[i];
    const RecordedLine& b = drawn[i];
    // A joined line's start is the last end, which equals the given start
    // (it may differ only in the sign of a zero).
    ASSERT_TRUE((a.x1 == b.x1 || SameBits(a.x1, b.x1)) && (a.y1 == b.y1 || SameBits(a.y1, b.y1)) &&
                SameBits(a.x2, b.x2) && SameBits(a.y2, b.y2) && a.color == b.color)
        << "line " << i;
  }

  list.Clear();
  EXPECT_EQ(list.LineCount(), 0u);
  EXPECT_TRUE(list.Lines().empty());
  // After a Clear the first line is whole even if it starts at the old end.
  list.Line(x, y, x + 10, y);
  ASSERT_EQ(list.Lines().size(), 1u);
  EXPECT_EQ(list.Lines()[0].x2, x + 10);
}

TEST(DisplayListTest, ReplaySetsTheColourOncePerRunAcrossLongRuns) {
  DisplayList list;
  // Runs longer than the replay's blocks, and a change right at 256 and 512.
  const std::vector<std::pair<int32_t, int>> runs = {{1, 256}, {2, 256}, {2, 0}, {3, 700}, {1, 1}};
  float y = 0;
  for (const auto& [color, count] : runs) {
    list.SetForeColor(color);
    for (int k = 0; k < count; ++k, y += 1) list.Line(0, y, 0, y + 1);
  }
  CallLog log;
  list.Replay(log);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"Clear", "Color 1", "Color 2", "Color 3", "Color 1"}));
  ASSERT_EQ(log.lines.size(), 1213u);
  EXPECT_EQ(log.lines[1212].y2, 1213);

  DisplayList empty;
  CallLog nothing;
  empty.Replay(nothing);
  EXPECT_EQ(nothing.calls, std::vector<std::string>{"Clear"});
}

}  // namespace
}  // namespace quillon
