#include "session/main_window_logic.h"

#include <gtest/gtest.h>

#include <memory>

#include <algorithm>
#include <array>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "session/error_text.h"
#include "session/settings_file.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

// A main window without Qt: scroll bars that clamp their value to their range
// and run OffsetChanged when the value changes, as the real ones do, and a
// record of every call in order.
class FakeMainView : public MainView {
 public:
  struct Bar {
    int minimum = 0, maximum = 99, value = 0, small_step = 1, large_step = 10;
  };

  MainWindowLogic* logic = nullptr;
  std::vector<std::string>* calls = nullptr;
  std::array<Bar, kSlotCount + 1> bars{};
  std::array<bool, kSlotCount + 1> details_visible{};
  std::map<std::pair<int, RowCell>, std::string> cells;
  double left = 0, top = 0;

  void PlaceWindow(double l, double t) override {
    left = l;
    top = t;
  }
  double WindowLeft() const override { return left; }
  double WindowTop() const override { return top; }
  void SetRowDetailsVisible(int16_t row, bool visible) override { details_visible.at(static_cast<std::size_t>(row)) = visible; }
  void SetCellText(int16_t row, RowCell cell, const std::string& text) override {
    cells[{row, cell}] = text;
    if (cell == RowCell::Offset) Note("offset cell " + std::to_string(row) + " " + text);
  }
  void SetOffsetBarMaximum(int16_t row, int maximum) override {
    Bar& bar = At(row);
    bar.maximum = maximum;
    if (bar.minimum > maximum) bar.minimum = maximum;
    SetValue(row, std::clamp(bar.value, bar.minimum, bar.maximum));
  }
  void SetOffsetBarMinimum(int16_t row, int minimum) override {
    Bar& bar = At(row);
    bar.minimum = minimum;
    if (bar.maximum < minimum) bar.maximum = minimum;
    SetValue(row, std::clamp(bar.value, bar.minimum, bar.maximum));
  }
  void SetOffsetBarValue(int16_t row, int value) override {
    SetValue(row, std::clamp(value, At(row).minimum, At(row).maximum));
  }
  void SetOffsetBarSteps(int16_t row, int small_step, int large_step) override {
    At(row).small_step = small_step;
    At(row).large_step = large_step;
  }
  int OffsetBarValue(int16_t row) const override { return bars.at(static_cast<std::size_t>(row)).value; }

  /// The user moves the bar: the value is clamped and Change runs.
  void Move(int16_t row, int value) { SetOffsetBarValue(row, value); }
  std::string Cell(int row, RowCell cell) const {
    auto it = cells.find({row, cell});
    return it == cells.end() ? "" : it->second;
  }

 private:
  Bar& At(int16_t row) { return bars.at(static_cast<std::size_t>(row)); }
  void SetValue(int16_t row, int value) {
    if (At(row).value == value) return;
    At(row).value = value;
    Note("OffsetChanged " + std::to_string(row));
    logic->OffsetChanged(row);
  }
  void Note(const std::string& text) {
    if (calls != nullptr) calls->push_back(text);
  }
};

class MainWindowLogicTest : public ::testing::Test {
 protected:
  MainWindowLogicTest() : logic(state, services, view) {
    view.logic = &logic;
    view.calls = &services.calls;
  }

  void Load() { logic.Start(dir / kSettingsFileName); }
  // What a successful load leaves in a slot and publishes.
  void PutLoaded(int16_t slot, double start, double end) {
    auto spectrum = std::make_shared<Spectrum>();
    spectrum->lambda_start = start;
    spectrum->lambda_end = end;
    state.Slots[slot].spectrum = spectrum;
    state.Slots[slot].loaded = true;
    state.SpectraLoaded = true;
    state.DataLambdaMin = std::min(state.DataLambdaMin, start);
    state.DataLambdaMax = std::max(state.DataLambdaMax, end);
  }

  testing::TempDir dir;
  SharedState state;
  testing::RecordingServices services;
  FakeMainView view;
  MainWindowLogic logic;
};

TEST_F(MainWindowLogicTest, StartUpHidesEveryRowAndSetsTheOffsetsThroughTheBars) {
  state.Slots[4].loaded = true;  // whatever a slot held, start-up empties it
  Load();

  EXPECT_EQ(state.SlotCount, 16);
  EXPECT_EQ(view.left, 200);
  EXPECT_EQ(view.top, 200);
  EXPECT_EQ(state.DataLambdaMin, 99999);
  EXPECT_EQ(state.DataLambdaMax, -99999);
  EXPECT_FALSE(state.SpectraLoaded);
  EXPECT_FALSE(state.PlotWindowOpen);
  EXPECT_EQ(state.ErrorText[27], "Error 27: Out of paper.");
  for (int16_t r = 1; r <= 16; ++r) {
    SCOPED_TRACE(r);
    EXPECT_FALSE(state.Slots[r].loaded);
    EXPECT_FALSE(view.details_visible[static_cast<std::size_t>(r)]);
    EXPECT_EQ(state.Slots[r].offset, 20 * (r - 15));
    EXPECT_EQ(state.Slots[r].color, DefaultSlotColor(r));
    const FakeMainView::Bar& bar = view.bars[static_cast<std::size_t>(r)];
    EXPECT_EQ(bar.minimum, -300);
    EXPECT_EQ(bar.maximum, 100);
    EXPECT_EQ(bar.value, state.Slots[r].offset);
    EXPECT_EQ(bar.small_step, 1);
    EXPECT_EQ(bar.large_step, 5);
  }
  // Every bar but row 15's (whose offset is the bar's start value 0) ran its
  // Change handler, in row order, each writing its offset cell; nothing drew.
  std::vector<std::string> expected;
  for (int r = 1; r <= 16; ++r) {
    if (r == 15) continue;
    expected.push_back("OffsetChanged " + std::to_string(r));
    expected.push_back("offset cell " + std::to_string(r) + " " + std::to_string(20 * (r - 15)));
  }
  EXPECT_EQ(services.calls, expected);
  EXPECT_EQ(view.Cell(1, RowCell::Offset), "-280");
  EXPECT_EQ(view.Cell(15, RowCell::Offset), "");
  EXPECT_EQ(view.Cell(16, RowCell::Offset), "20");
}

TEST_F(MainWindowLogicTest, StartUpPlacesTheWindowFromTheSettingsFileOrTheDefaults) {
  state.MainLeft = 1234;
  ASSERT_EQ(WriteSettingsFile(state, dir / kSettingsFileName), "");
  state = SharedState();
  Load();
  EXPECT_EQ(view.left, 1234);

  std::ofstream(dir / kSettingsFileName) << "damaged";
  Load();
  EXPECT_EQ(view.left, 200);
  EXPECT_TRUE(services.messages.empty());  // a bad settings file is silent
}

TEST_F(MainWindowLogicTest, OffsetMoveRedrawsFirstThenShowsTheValueWithinItsRange) {
  Load();
  PutLoaded(3, 4000, 7000);
  services.calls.clear();
  view.Move(3, -100);
  EXPECT_EQ(services.calls, (std::vector<std::string>{"OffsetChanged 3", "RenderPlot", "offset cell 3 -100"}));
  EXPECT_EQ(state.Slots[3].offset, -100);

  view.Move(3, 500);  // the bar stops at its bottom
  EXPECT_EQ(state.Slots[3].offset, 100);
  EXPECT_EQ(view.Cell(3, RowCell::Offset), "100");
  view.Move(3, -1000);
  EXPECT_EQ(state.Slots[3].offset, -300);

  state.SpectraLoaded = false;  // nothing to draw: only the value changes
  services.calls.clear();
  view.Move(3, 7);
  EXPECT_EQ(services.calls, (std::vector<std::string>{"OffsetChanged 3", "offset cell 3 7"}));
}

struct UnloadCase {
  const char* name;
  bool plot_open;
  bool other_loaded;
  std::vector<std::string> calls;
  double data_min, data_max;
  bool spectra_loaded;
};

class UnloadTest : public MainWindowLogicTest, public ::testing::WithParamInterface<UnloadCase> {};

TEST_P(UnloadTest, UnloadClearsTheSlotAndRedrawsHidesOrKeepsTheRange) {
  const UnloadCase& c = GetParam();
  Load();
  PutLoaded(2, 3000, 9000);
  if (c.other_loaded) PutLoaded(5, 5000, 6000);
  state.PlotWindowOpen = c.plot_open;
  view.SetRowDetailsVisible(2, true);
  services.calls.clear();

  logic.UnloadRow(2);

  EXPECT_EQ(state.CurrentSlot, 2);
  EXPECT_FALSE(state.Slots[2].loaded);
  EXPECT_FALSE(view.details_visible[2]);
  EXPECT_EQ(services.calls, c.calls);
  EXPECT_EQ(state.DataLambdaMin, c.data_min);
  EXPECT_EQ(state.DataLambdaMax, c.data_max);
  EXPECT_EQ(state.SpectraLoaded, c.spectra_loaded);
  EXPECT_EQ(state.PlotWindowOpen, c.plot_open);  // hiding keeps the flag
  if (c.plot_open) {
    EXPECT_EQ(state.PlotLambdaMin, c.other_loaded ? 5000 : 9999);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnloadTest,
    ::testing::Values(
        // The data range is recomputed only while the plot window is open.
        UnloadCase{"LastWithPlotOpen", true, false, {"HidePlotWindow"}, 9999, -9999, false},
        UnloadCase{"OneOfTwoWithPlotOpen", true, true, {"ClearPlotWindow", "RenderPlot"}, 5000, 6000, true},
        UnloadCase{"LastWithPlotClosed", false, false, {}, 3000, 9000, false},
        UnloadCase{"OneOfTwoWithPlotClosed", false, true, {}, 3000, 9000, true}),
    [](const ::testing::TestParamInfo<UnloadCase>& info) { return std::string(info.param.name); });

TEST_F(MainWindowLogicTest, RowCommandsSetTheCurrentSlotAndReachTheirWindows) {
  Load();
  services.calls.clear();
  logic.LoadRow(7);
  EXPECT_EQ(state.CurrentSlot, 7);
  logic.ShowRowHeader(9);  // an empty row: only the slot changes
  EXPECT_EQ(state.CurrentSlot, 9);
  PutLoaded(9, 4000, 5000);
  logic.ShowRowHeader(9);
  logic.PlotSpectra();
  logic.ShowHelp();
  logic.ShowAbout();
  EXPECT_EQ(services.calls, (std::vector<std::string>{"OpenFileChooser", "ShowHeaderCards 9", "RenderPlot",
                                                      "ShowHelpWindow", "ShowAboutWindow"}));
  // Rows outside the table are ignored rather than indexing past it.
  logic.LoadRow(0);
  logic.UnloadRow(17);
  logic.ShowRowHeader(-1);
  EXPECT_EQ(state.CurrentSlot, 9);
}

TEST_F(MainWindowLogicTest, LoadedRowShowsNameObjectLevelOffsetAndZeroVelocity) {
  Load();
  state.Slots[4].file_name = "star.fts";
  auto spectrum = std::make_shared<Spectrum>();
  spectrum->header.object = "HD 1234";
  spectrum->norm = 1044.97;
  state.Slots[4].spectrum = spectrum;
  logic.ShowLoadedRow(4);
  EXPECT_TRUE(view.details_visible[4]);
  EXPECT_EQ(view.Cell(4, RowCell::FileName), "star.fts");
  EXPECT_EQ(view.Cell(4, RowCell::Object), "HD 1234");
  EXPECT_EQ(view.Cell(4, RowCell::Level), "1044");
  EXPECT_EQ(view.Cell(4, RowCell::Offset), "-220");
  EXPECT_EQ(view.Cell(4, RowCell::Velocity), "0");
}

TEST_F(MainWindowLogicTest, ExitStoresTheRoundedPositionAndWritesTheSettingsFile) {
  Load();
  view.left = 1234.5;  // halves go to the even neighbour
  view.top = 99999;    // beyond 16 bits: clamped
  logic.SaveSettings(dir / kSettingsFileName);
  EXPECT_EQ(state.MainLeft, 1234);
  EXPECT_EQ(state.MainTop, 32767);
  SharedState read;
  ASSERT_TRUE(ReadSettingsFile(read, dir / kSettingsFileName));
  EXPECT_EQ(read.MainLeft, 1234);
  EXPECT_TRUE(services.messages.empty());
}

TEST_F(MainWindowLogicTest, ExitReportsASettingsFileThatCannotBeWrittenOnce) {
  Load();
  logic.SaveSettings(dir / "no such folder" / kSettingsFileName);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_NE(services.messages[0].find("Quillon3.ini"), std::string::npos);
}

TEST(MainWindowText, LevelAndOffsetTexts) {
  struct Case {
    double norm;
    const char* text;
  };
  for (const Case& c : {Case{1044.97, "1044"}, Case{0.4, "0"}, Case{-0.5, "-1"}, Case{1e20, "100000000000000000000"},
                        Case{std::numeric_limits<double>::quiet_NaN(), "0"},
                        Case{std::numeric_limits<double>::infinity(), "0"}}) {
    EXPECT_EQ(LevelText(c.norm), c.text) << c.norm;
  }
  EXPECT_EQ(OffsetText(-280), "-280");
  EXPECT_EQ(OffsetText(0), "0");
  EXPECT_EQ(OffsetText(20), "20");
}

TEST(MainWindowLayout, RowBandsAndStaggeredOffsetColumn) {
  struct Case {
    double y;
    int16_t row;
  };
  for (const Case& c : {Case{959, 0}, Case{960, 1}, Case{1559.9, 1}, Case{1560, 2}, Case{10559, 16}, Case{10560, 0},
                        Case{-5, 0}, Case{std::numeric_limits<double>::quiet_NaN(), 0}}) {
    EXPECT_EQ(RowAtClientY(c.y), c.row) << c.y;
  }
  // Odd rows' bars stand left of even rows'; the line spans the other column's gap.
  EXPECT_EQ(RowControlBox(RowControl::OffsetBar, 1).left, 7320);
  EXPECT_EQ(RowControlBox(RowControl::OffsetBar, 2).left, 8520);
  EXPECT_EQ(RowControlBox(RowControl::GapLine, 1), (TwipsBox{8280, 1200, 1080, 0}));
  EXPECT_EQ(RowControlBox(RowControl::GapLine, 2), (TwipsBox{7320, 1800, 1080, 0}));
  // Every control of the last row lies inside the client area.
  for (int c = 0; c < kRowControlCount; ++c) {
    const TwipsBox box = RowControlBox(static_cast<RowControl>(c), 16);
    EXPECT_LE(box.top + box.height, kMainClientHeight) << c;
    EXPECT_LE(box.left + box.width, kMainClientWidth) << c;
  }
}

}  // namespace
}  // namespace quillon
