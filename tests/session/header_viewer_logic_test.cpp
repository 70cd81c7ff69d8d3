#include "session/header_viewer_logic.h"

#include <gtest/gtest.h>

#include <memory>

#include <limits>
#include <string>
#include <vector>

namespace quillon {
namespace {

// Records what the logic asks of the window.
class RecordingView : public HeaderViewerView {
 public:
  std::vector<std::string> sizes;  // "WxH" of each ApplySize, in order
  double left = 0, top = 0;
  HeaderScrollBar bar;
  int surface_changes = 0;

  void ApplyPosition(double l, double t) override {
    left = l;
    top = t;
  }
  void ApplySize(double w, double h) override { sizes.push_back(std::to_string(int(w)) + "x" + std::to_string(int(h))); }
  void ApplyScrollBar(const HeaderScrollBar& b) override { bar = b; }
  void SurfaceChanged() override { ++surface_changes; }
};

// The header of `slot` for a test to fill: a copy the slot then holds.
SpectrumHeader& EditHeader(SharedState& state, int slot) {
  auto header = std::make_shared<SpectrumHeader>(SlotHeader(state, slot));
  state.Slots[slot].header = header;
  return *header;
}

std::string Card(int slot, int k) { return "S" + std::to_string(slot) + " CARD" + std::to_string(k); }

void FillHeader(SharedState& state, int slot, int count) {
  EditHeader(state, slot).cards.assign(1, "");
  for (int k = 1; k <= count; ++k) EditHeader(state, slot).cards.push_back(Card(slot, k));
  EditHeader(state, slot).line_count = static_cast<int16_t>(count);
  state.Slots[slot].loaded = true;
}

std::vector<std::string> Cards(int slot, int first, int last) {
  std::vector<std::string> cards;
  for (int k = first; k <= last; ++k) cards.push_back(Card(slot, k));
  return cards;
}

// A viewer as the Hdr button opens it: loaded, then displayed (first resize).
struct Viewer {
  SharedState state;
  RecordingView view;
  HeaderViewerLogic logic{state, view};

  Viewer(int cards, int16_t height, int slot = 1) {
    FillHeader(state, slot, cards);
    state.CurrentSlot = static_cast<int16_t>(slot);
    state.HdrHeight = height;
    logic.Load();
    logic.Resized();
  }
};

TEST(HeaderLines, WholeOnLoadAndResizeRoundedOnScroll) {
  struct Case {
    double height;
    int16_t whole;
    int16_t rounded;
  };
  const Case cases[] = {
      {10000, 48, 49},   // 9440 / 194.5 is about 48.5
      {8340, 40, 40},    // exactly 40 lines
      {6395, 30, 30},    // a 30-card header held whole
      {560, 0, 0},       // no room for a card
      {400, 0, 0},       // below the chrome: never negative
      {-5000, 0, 0},     //
      {32767, 165, 166}  // the tallest storable window
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HeaderLinesWhole(c.height), c.whole) << c.height;
    EXPECT_EQ(HeaderLinesRounded(c.height), c.rounded) << c.height;
  }
}

TEST(HeaderViewerLoad, AppliesStoredGeometryAndPrintsNothingVisible) {
  SharedState state;
  RecordingView view;
  HeaderViewerLogic logic(state, view);
  FillHeader(state, 3, 100);
  state.CurrentSlot = 3;
  state.HdrLeft = 700;
  state.HdrTop = 1234.5;
  state.HdrWidth = 6000;
  state.HdrHeight = 10000;
  logic.Load();

  EXPECT_FALSE(logic.Loading());
  EXPECT_EQ(view.left, 700);
  EXPECT_EQ(view.top, 1234.5);
  EXPECT_EQ(view.sizes, std::vector<std::string>{"6000x10000"});
  // The resize raised by the load's own size did nothing: the stored size is untouched.
  EXPECT_EQ(logic.ScrollBar().min, 24);
  EXPECT_EQ(logic.ScrollBar().value, 24);
  EXPECT_EQ(logic.ScrollBar().max, 76);
  EXPECT_EQ(logic.ScrollBar().small_change, 1);
  EXPECT_EQ(logic.ScrollBar().large_change, 10);
}

TEST(HeaderViewerLoad, StoredTopOutsideSixteenBitsIsPlacedClamped) {
  const struct {
    double stored;
    double placed;
  } cases[] = {{1e300, 32767}, {-1e9, -32768}, {std::numeric_limits<double>::quiet_NaN(), 0},
               {std::numeric_limits<double>::infinity(), 0}, {-250.5, -250.5}};
  for (const auto& c : cases) {
    SharedState state;
    RecordingView view;
    HeaderViewerLogic logic(state, view);
    state.HdrTop = c.stored;
    logic.Load();
    EXPECT_EQ(view.top, c.placed) << c.stored;
  }
}

TEST(HeaderViewerLoad, ShortHeaderRaisesMaximumToMinimum) {
  SharedState state;
  RecordingView view;
  HeaderViewerLogic logic(state, view);
  FillHeader(state, 1, 10);
  state.CurrentSlot = 1;
  logic.Load();
  EXPECT_EQ(logic.ScrollBar().min, 24);
  EXPECT_EQ(logic.ScrollBar().max, 24);
  EXPECT_EQ(logic.ScrollBar().value, 24);
}

TEST(HeaderViewerResize, DefaultHeightTakes48LinesAndScrollTakes49) {
  Viewer v(100, 10000);
  EXPECT_EQ(v.logic.VisibleLines(), 48);
  EXPECT_TRUE(v.logic.ScrollBar().visible);
  EXPECT_EQ(v.logic.ScrollBar().min, 24);
  EXPECT_EQ(v.logic.ScrollBar().max, 76);
  // At the top position the resize prints VisibleLines() + 1 cards from card 1.
  EXPECT_EQ(v.logic.PrintedLines(), Cards(1, 1, 49));

  v.logic.ScrolledByUser(25);
  EXPECT_EQ(v.logic.VisibleLines(), 49);
  // 25 - 24.5 + 2 = 2.5, a half going to the even neighbour.
  EXPECT_EQ(v.logic.FirstCard(), 2);
  EXPECT_EQ(v.logic.LastCard(), 51);
  EXPECT_EQ(v.logic.PrintedLines(), Cards(1, 2, 51));
}

TEST(HeaderViewerResize, RecordsSizeAndPlacesScrollBar) {
  Viewer v(100, 10000);
  v.logic.ResizedByUser(4500.4, 9000.6, false);
  EXPECT_EQ(v.state.HdrWidth, 4500);
  EXPECT_EQ(v.state.HdrHeight, 9001);
  EXPECT_DOUBLE_EQ(v.logic.ScrollBar().left, 4500.4 - 360);
  EXPECT_DOUBLE_EQ(v.logic.ScrollBar().height, 9000.6 - 500);
  EXPECT_EQ(v.logic.ScrollBar().top, 0);
  EXPECT_EQ(v.logic.ScrollBar().width, 255);
}

TEST(HeaderViewerScroll, Window8340High) {
  Viewer v(100, 8340);
  EXPECT_EQ(v.logic.VisibleLines(), 40);
  EXPECT_EQ(v.logic.ScrollBar().min, 20);
  EXPECT_EQ(v.logic.ScrollBar().max, 80);
  EXPECT_EQ(v.logic.PrintedLines(), Cards(1, 1, 41));

  struct Case {
    int value;
    int first;
    int last;
  };
  const Case cases[] = {
      {21, 3, 43},    // one small step down prints from card 3
      {20, 1, 41},    // back at the minimum: from card 1
      {31, 13, 53},   // a large step (10) below the first small one
      {80, 62, 100},  // the bottom: the last 39 cards end with the last card
      {79, 62, 100},  // one step above the bottom already ends with the last card
  };
  for (const Case& c : cases) {
    v.logic.ScrolledByUser(c.value);
    EXPECT_EQ(v.logic.ScrollBar().value, c.value);
    EXPECT_EQ(v.logic.FirstCard(), c.first) << c.value;
    EXPECT_EQ(v.logic.LastCard(), c.last) << c.value;
    EXPECT_EQ(v.logic.PrintedLines(), Cards(1, c.first, c.last)) << c.value;
  }
}

TEST(HeaderViewerScroll, UserValuesStayInRangeAndRepeatsDoNothing) {
  Viewer v(100, 8340);
  v.logic.ScrolledByUser(500);
  EXPECT_EQ(v.logic.ScrollBar().value, 80);
  const int changes = v.view.surface_changes;
  v.logic.ScrolledByUser(80);  // the window mirroring our own value back
  EXPECT_EQ(v.view.surface_changes, changes);
  v.logic.ScrolledByUser(-7);
  EXPECT_EQ(v.logic.ScrollBar().value, 20);
  EXPECT_EQ(v.logic.FirstCard(), 1);
}

TEST(HeaderViewerResize, ThirtyCardHeaderShrinksWindowThenHdrPrintsFromCardOne) {
  Viewer v(30, 10000);
  EXPECT_FALSE(v.logic.ScrollBar().visible);
  EXPECT_EQ(v.logic.Height(), 6395);
  EXPECT_EQ(v.state.HdrHeight, 6395);
  // The load's size, then the shrink set from inside the first resize; the
  // nested run found the window already holding the cards and set nothing.
  EXPECT_EQ(v.view.sizes, (std::vector<std::string>{"3000x10000", "3000x6395"}));
  EXPECT_EQ(v.logic.VisibleLines(), 30);  // as the nested run left it
  EXPECT_EQ(v.logic.ScrollBar().min, 15);
  EXPECT_EQ(v.logic.ScrollBar().max, 15);
  EXPECT_EQ(v.logic.ScrollBar().value, 15);
  EXPECT_EQ(v.logic.FirstCard(), 2);
  EXPECT_EQ(v.logic.LastCard(), 30);
  EXPECT_EQ(v.logic.PrintedLines(), Cards(1, 2, 30));

  v.logic.PrintCardsFromTop(1);
  EXPECT_EQ(v.logic.PrintedLines(), Cards(1, 1, 30));
}

TEST(HeaderViewerResize, ShortHeaderAfterTallerWindowShrinksAgain) {
  Viewer v(30, 10000);
  v.logic.ResizedByUser(3000, 12000, false);  // the user pulls it taller
  EXPECT_EQ(v.logic.Height(), 6395);
  EXPECT_EQ(v.view.sizes.back(), "3000x6395");
}

TEST(HeaderViewerHdr, SecondRowKeepsOldScrollRangeUntilResized) {
  Viewer v(100, 8340);
  FillHeader(v.state, 2, 50);
  v.state.CurrentSlot = 2;
  v.logic.PrintCardsFromTop(2);
  EXPECT_EQ(v.logic.PrintedLines(), Cards(2, 1, 50));
  EXPECT_EQ(v.logic.ScrollBar().min, 20);
  EXPECT_EQ(v.logic.ScrollBar().max, 80);

  // Scrolling now prints the second row's cards within the old range.
  v.logic.ScrolledByUser(80);
  EXPECT_EQ(v.logic.PrintedLines(), Cards(2, 12, 50));

  v.logic.ResizedByUser(3000, 8340.5, false);
  EXPECT_EQ(v.logic.ScrollBar().max, 30);
  EXPECT_EQ(v.logic.ScrollBar().value, 30);
}

TEST(HeaderViewerScroll, PrintsTheCardsOfTheSlotCurrentNow) {
  Viewer v(100, 8340);
  FillHeader(v.state, 5, 100);
  v.state.CurrentSlot = 5;  // a Load or Unload on another row
  v.logic.ScrolledByUser(21);
  EXPECT_EQ(v.logic.PrintedLines(), Cards(5, 3, 43));
}

TEST(HeaderViewerLimits, TinyAndMinimisedWindowsKeepWorking) {
  Viewer v(100, 10000);
  v.logic.ResizedByUser(200, 300, false);
  EXPECT_EQ(v.logic.ScrollBar().height, 0);
  EXPECT_EQ(v.logic.VisibleLines(), 0);
  EXPECT_TRUE(v.logic.ScrollBar().visible);
  EXPECT_EQ(v.logic.ScrollBar().min, 0);
  EXPECT_EQ(v.logic.ScrollBar().max, 100);
  EXPECT_LE(v.logic.PrintedLines().size(), 1u);

  v.logic.ResizedByUser(5000, 9000, false);
  const auto lines = v.logic.PrintedLines();
  v.logic.ResizedByUser(300, 20, true);  // minimising is ignored
  EXPECT_EQ(v.state.HdrWidth, 5000);
  EXPECT_EQ(v.state.HdrHeight, 9000);
  EXPECT_EQ(v.logic.PrintedLines(), lines);
}

TEST(HeaderViewerLimits, EmptyHeaderAndMissingCards) {
  Viewer empty(0, 10000);
  EXPECT_EQ(empty.logic.Height(), 560);
  EXPECT_FALSE(empty.logic.ScrollBar().visible);
  EXPECT_TRUE(empty.logic.PrintedLines().empty());

  // A count larger than the stored cards prints empty lines instead of reading past them.
  Viewer short_table(5, 10000);
  EditHeader(short_table.state, 1).line_count = 8;
  short_table.logic.PrintCardsFromTop(1);
  ASSERT_EQ(short_table.logic.PrintedLines().size(), 8u);
  EXPECT_EQ(short_table.logic.PrintedLines()[4], Card(1, 5));
  EXPECT_EQ(short_table.logic.PrintedLines()[7], "");

  short_table.logic.PrintCardsFromTop(0);
  short_table.logic.PrintCardsFromTop(17);
  EXPECT_EQ(short_table.logic.PrintedLines().size(), 8u);
}

TEST(HeaderViewerUnload, StoresGeometryRoundedAndClamped) {
  Viewer v(100, 10000);
  v.logic.ResizedByUser(4000.5, 9999.5, false);
  v.logic.Unload(1500.5, 777.25);
  EXPECT_EQ(v.state.HdrLeft, 1500);  // halves to even
  EXPECT_EQ(v.state.HdrTop, 777.25); // the top is kept as it is
  EXPECT_EQ(v.state.HdrWidth, 4000);
  EXPECT_EQ(v.state.HdrHeight, 10000);

  v.logic.ResizedByUser(40000, 31000, false);
  v.logic.Unload(-50000, 1e6);
  EXPECT_EQ(v.state.HdrLeft, -32768);
  EXPECT_EQ(v.state.HdrTop, 1e6);
  EXPECT_EQ(v.state.HdrWidth, 32767);
}

TEST(HeaderText, TheWholeHeaderOneCardALineAndTheSlotPrintedLast) {
  SharedState state;
  FillHeader(state, 3, 4);
  EXPECT_EQ(HeaderText(state, 3), "S3 CARD1\nS3 CARD2\nS3 CARD3\nS3 CARD4\n");
  // Never past the cards held, never outside the slots.
  EditHeader(state, 3).line_count = 9;
  EXPECT_EQ(HeaderText(state, 3), "S3 CARD1\nS3 CARD2\nS3 CARD3\nS3 CARD4\n");
  EditHeader(state, 3).line_count = -2;
  EXPECT_EQ(HeaderText(state, 3), "");
  EXPECT_EQ(HeaderText(state, 0), "");
  EXPECT_EQ(HeaderText(state, 17), "");
  EXPECT_EQ(HeaderText(state, 5), "");  // an empty slot

  // The viewer knows which slot it shows, also after CurrentSlot moved on.
  Viewer v(60, 8340, 2);
  EXPECT_EQ(v.logic.PrintedSlot(), 2);
  FillHeader(v.state, 4, 10);
  v.logic.PrintCardsFromTop(4);
  v.state.CurrentSlot = 2;
  EXPECT_EQ(v.logic.PrintedSlot(), 4);
}

}  // namespace
}  // namespace quillon
