#include "session/shared_state.h"

#include <gtest/gtest.h>

#include <memory>

namespace quillon {
namespace {

TEST(SharedStateTest, StartValues) {
  SharedState state;
  EXPECT_EQ(state.SlotCount, 16);
  EXPECT_EQ(state.CurrentSlot, 0);
  EXPECT_EQ(state.KeywordLambda0, "CRVAL1");
  EXPECT_EQ(state.KeywordDispersion, "CD1_1");
  // Before any load the data range is empty: min above max.
  EXPECT_EQ(state.DataLambdaMin, 99999);
  EXPECT_EQ(state.DataLambdaMax, -99999);
  EXPECT_EQ(state.SpectraLoaded, 0);
  EXPECT_EQ(state.PlotWindowOpen, 0);
  EXPECT_EQ(state.RenderBusy, 0);
  for (int slot = 0; slot <= 16; ++slot) EXPECT_FALSE(state.Slots[slot].loaded);
}

TEST(SharedStateTest, StartOffsetsStackSlotOneHighest) {
  SharedState state;
  EXPECT_EQ(state.Slots[1].offset, -280);
  EXPECT_EQ(state.Slots[2].offset, -260);
  EXPECT_EQ(state.Slots[15].offset, 0);
  EXPECT_EQ(state.Slots[16].offset, 20);
}

TEST(SharedStateTest, ColourTableRepeatsAfterTen) {
  struct Case {
    int slot;
    int32_t color;
  };
  const Case cases[] = {{1, 0x000000FF},  {2, 0x000477F8},  {3, 0x0019DCDA}, {4, 0x0003C496},
                        {5, 0x0093A100},  {6, 0x00FFA000},  {7, 0x00FF0080}, {8, 0x00DF00DF},
                        {9, 0x001050C0},  {10, 0x0000000F}, {11, 0x000000FF}, {12, 0x000477F8},
                        {13, 0x0019DCDA}, {14, 0x0003C496}, {15, 0x0093A100}, {16, 0x00FFA000}};
  SharedState state;
  for (const Case& c : cases) {
    EXPECT_EQ(state.Slots[c.slot].color, c.color) << "slot " << c.slot;
    EXPECT_EQ(DefaultSlotColor(c.slot), c.color) << "slot " << c.slot;
  }
}

TEST(SharedStateTest, SlotIndexOutsideTableThrows) {
  SharedState state;
  EXPECT_THROW(state.Slots[17].loaded, std::out_of_range);
  EXPECT_THROW(state.Slots[-1].offset, std::out_of_range);
  EXPECT_NO_THROW(state.Slots[0].offset);
}

TEST(SharedStateTest, CountLoadedSlots) {
  SharedState state;
  EXPECT_EQ(CountLoadedSlots(state), 0);
  state.Slots[3].loaded = true;
  state.Slots[16].loaded = true;
  EXPECT_EQ(CountLoadedSlots(state), 2);
  state.Slots[5].spectrum = std::make_shared<Spectrum>();  // a spectrum kept after an unload does not count
  EXPECT_EQ(CountLoadedSlots(state), 2);
}

// A spectrum from `start` to `end` Angstroms in `slot`, loaded or kept after an unload.
void PutRange(SharedState& state, int slot, double start, double end, bool loaded) {
  auto spectrum = std::make_shared<Spectrum>();
  spectrum->lambda_start = start;
  spectrum->lambda_end = end;
  state.Slots[slot].spectrum = spectrum;
  state.Slots[slot].loaded = loaded;
}

TEST(SharedStateTest, UpdateDataRangeCoversLoadedSlotsOnly) {
  SharedState state;
  PutRange(state, 2, 4000, 6000, true);
  PutRange(state, 5, 5000, 7000, true);
  PutRange(state, 7, 100, 90000, false);  // not loaded: ignored
  UpdateDataRange(state);
  EXPECT_EQ(state.DataLambdaMin, 4000);
  EXPECT_EQ(state.DataLambdaMax, 7000);
  EXPECT_EQ(state.PlotLambdaMin, 4000);
  EXPECT_EQ(state.PlotLambdaMax, 7000);
}

TEST(SharedStateTest, UpdateDataRangeStartsFrom9999) {
  SharedState state;
  UpdateDataRange(state);
  EXPECT_EQ(state.DataLambdaMin, 9999);
  EXPECT_EQ(state.DataLambdaMax, -9999);

  // A lone spectrum above 9999 Angstroms leaves the minimum at 9999.
  PutRange(state, 1, 12000, 15000, true);
  UpdateDataRange(state);
  EXPECT_EQ(state.DataLambdaMin, 9999);
  EXPECT_EQ(state.PlotLambdaMin, 9999);
  EXPECT_EQ(state.DataLambdaMax, 15000);
}

TEST(IntConvertTest, RoundsHalfToEvenAndClamps) {
  struct Case {
    double value;
    int16_t expected;
  };
  const Case cases[] = {{0.5, 0},        {1.5, 2},         {2.5, 2},         {-0.5, 0},
                        {-1.5, -2},      {37.5, 38},       {4187.5, 4188},   {6812.5, 6812},
                        {32767.4, 32767}, {40000, 32767},  {-40000, -32768}, {1e300, 32767},
                        {-1e300, -32768}};
  for (const Case& c : cases) EXPECT_EQ(RoundToInt16(c.value), c.expected) << c.value;
  EXPECT_EQ(RoundToInt16(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(RoundToInt16(std::numeric_limits<double>::infinity()), 32767);
  EXPECT_EQ(RoundToInt32(-std::numeric_limits<double>::infinity()), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(RoundToInt32(2.5), 2);
  EXPECT_EQ(FloorToInt16(-0.5), -1);
  EXPECT_EQ(ClampToInt16(70000), 32767);
}

}  // namespace
}  // namespace quillon
