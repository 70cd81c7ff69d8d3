#include "session/shared_state.h"

namespace quillon {

SharedState::SharedState() {
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    Slots[slot].color = DefaultSlotColor(slot);
    Slots[slot].offset = DefaultSlotOffset(slot);
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
  for (int slot = 1; slot <= kSlotCount; ++slot) state.Slots[slot].color = DefaultSlotColor(slot);
}

void UpdateDataRange(SharedState& state) {
  // 9999 here, not the 99999 of start-up: the plotted range of a lone
  // spectrum above 9999 Angstroms therefore starts at 9999.
  state.DataLambdaMin = 9999;
  state.DataLambdaMax = -9999;
  for (int slot = 1; slot <= state.SlotCount; ++slot) {
    if (!state.Slots[slot].loaded) continue;
    const Spectrum& spectrum = *state.Slots[slot].spectrum;
    if (spectrum.lambda_start < state.DataLambdaMin) state.DataLambdaMin = spectrum.lambda_start;
    if (spectrum.lambda_end > state.DataLambdaMax) state.DataLambdaMax = spectrum.lambda_end;
  }
  state.PlotLambdaMin = state.DataLambdaMin;
  state.PlotLambdaMax = state.DataLambdaMax;
}

int16_t CountLoadedSlots(const SharedState& state) {
  int16_t count = 0;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    if (state.Slots[slot].loaded) ++count;
  }
  return count;
}

const Spectrum& SlotSpectrum(const SharedState& state, int slot) {
  const SpectrumPtr& spectrum = state.Slots[slot].spectrum;
  if (!spectrum) throw std::logic_error("slot " + std::to_string(slot) + " holds no spectrum");
  return *spectrum;
}

const SpectrumHeader& SlotHeader(const SharedState& state, int slot) {
  static const SpectrumHeader kNone;
  const auto& header = state.Slots[slot].header;
  return header ? *header : kNone;
}

CalibrationKeywords KeywordsOf(const SharedState& state) {
  return {state.KeywordLambda0, state.KeywordDispersion};
}

}  // namespace quillon
