#include "session/shared_state.h"

namespace quillon {

SharedState::SharedState() {
  SlotLoaded.Fill(kFalse);
  SlotColor.Fill(0);
  SlotOffset.Fill(0);
  SlotLambda0.Fill(0);
  SlotDispersion.Fill(0);
  SlotLambdaStart.Fill(0);
  SlotLambdaEnd.Fill(0);
  SlotBitpix.Fill(0);
  SlotNaxis.Fill(0);
  SlotNaxis1.Fill(0);
  SlotNaxis2.Fill(0);
  SlotNaxis3.Fill(0);
  SlotBscale.Fill(0);
  SlotBzero.Fill(0);
  SlotNorm.Fill(0);
  SlotLevelledMax.Fill(0);
  HeaderLineCount.Fill(0);
  // Index 0 of every growable table belongs to no sample or card.
  SlotIntensity.Fill(SampleArray(1, 0.0));
  SlotLevelled.Fill(SampleArray(1, 0.0));
  HeaderCard.Fill(CardArray(1));
  HeaderKeyword.Fill(CardArray(1));
  HeaderValue.Fill(CardArray(1));
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    SlotColor[slot] = DefaultSlotColor(slot);
    SlotOffset[slot] = DefaultSlotOffset(slot);
  }
}

int32_t DefaultSlotColor(int slot) {
  // Slots 11..16 repeat the colours of 1..6.
  static constexpr std::array<int32_t, 10> kColors = {
      0x000000FF, 0x000477F8, 0x0019DCDA, 0x0003C496, 0x0093A100,
      0x00FFA000, 0x00FF0080, 0x00DF00DF, 0x001050C0, 0x0000000F,
  };
  if (slot < 1 || slot > kSlotCount) throw std::out_of_range("slot index " + std::to_string(slot));
  return kColors[static_cast<std::size_t>((slot - 1) % 10)];
}

void FillSlotColors(SharedState& state) {
  for (int slot = 1; slot <= kSlotCount; ++slot) state.SlotColor[slot] = DefaultSlotColor(slot);
}

void UpdateDataRange(SharedState& state) {
  // 9999 here, not the 99999 of start-up: the plotted range of a lone
  // spectrum above 9999 Angstroms therefore starts at 9999.
  state.DataLambdaMin = 9999;
  state.DataLambdaMax = -9999;
  for (int slot = 1; slot <= state.SlotCount; ++slot) {
    if (!IsSet(state.SlotLoaded[slot])) continue;
    if (state.SlotLambdaStart[slot] < state.DataLambdaMin) state.DataLambdaMin = state.SlotLambdaStart[slot];
    if (state.SlotLambdaEnd[slot] > state.DataLambdaMax) state.DataLambdaMax = state.SlotLambdaEnd[slot];
  }
  state.PlotLambdaMin = state.DataLambdaMin;
  state.PlotLambdaMax = state.DataLambdaMax;
}

WavelengthScale SlotWavelengthScale(const SharedState& state, int slot) {
  const WavelengthScale& scale = state.SlotScale[slot];
  if (scale.logarithmic) return scale;
  const double step = state.SlotDispersion[slot];
  return {step < 0 ? state.SlotLambdaEnd[slot] : state.SlotLambdaStart[slot], step, false};
}

int16_t CountLoadedSlots(const SharedState& state) {
  int16_t count = 0;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    if (IsSet(state.SlotLoaded[slot])) ++count;
  }
  return count;
}

}  // namespace quillon
