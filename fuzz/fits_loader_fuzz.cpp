// libFuzzer entry points for the FITS reader, with bytes in memory.
//
// Built twice: fits_loader_fuzz runs the whole loader (header, samples,
// level, publishing) into a fresh state, sometimes into a slot that already
// holds a spectrum and with an open plot; fits_header_fuzz runs the header
// pieces alone (cards, values, lenient numbers), which reaches their corners
// faster. Besides the sanitizers, each run checks what the loader promises:
// a refused file publishes nothing and leaves the data range alone, and no
// infinity reaches what the renderer draws (NaN marks a missing sample).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fits/byte_source.h"
#include "spectrum/spectrum_reader.h"
#include "fits/header_reader.h"
#include "session/shared_state.h"
#include "session/window_services.h"

namespace {

using quillon::SharedState;

class QuietServices : public quillon::WindowServices {
 public:
  int messages = 0;
  int rows = 0;
  int redraws = 0;
  void ShowMessage(const std::string& text) override {
    if (text.empty()) std::abort();
    ++messages;
  }
  void ShowLoadedRow(int16_t) override { ++rows; }
  void SetOffsetText(int16_t, const std::string&) override {}
  void RenderPlot() override { ++redraws; }
  void ClearPlotWindow() override {}
  void HidePlotWindow() override {}
  void OpenFileChooser() override {}
  void ShowHeaderCards(int16_t) override {}
  void ShowHelpWindow() override {}
  void ShowAboutWindow() override {}
};

void Check(bool condition) {
  if (!condition) std::abort();
}

#ifndef QUILLON_FUZZ_HEADER
void FuzzLoader(const uint8_t* data, size_t size) {
  SharedState state;
  QuietServices services;
  // The last byte picks the situation, so the corpus can reach both.
  const bool reload = size > 0 && (data[size - 1] & 1) != 0;
  const int16_t slot = 3;
  if (reload) {
    state.SlotLoaded[slot] = quillon::kTrue;
    state.SlotLambdaStart[slot] = 5000;
    state.SlotLambdaEnd[slot] = 6000;
    state.SlotNaxis1[slot] = 2;
    state.SlotLevelled[slot] = {0, 100, 50};
    state.DataLambdaMin = 5000;
    state.DataLambdaMax = 6000;
    state.PlotWindowOpen = quillon::kTrue;
  }
  const double min_before = state.DataLambdaMin;
  const double max_before = state.DataLambdaMax;

  quillon::MemorySource source(data, size);
  const quillon::FitsLoadDetails details =
      quillon::LoadFitsSpectrumFromSource(state, slot, source, "fuzz.fts", services, services, services);

  if (!details.published) {
    Check(services.rows == 0 && services.redraws == 0);
    Check(state.DataLambdaMin == min_before && state.DataLambdaMax == max_before);
    Check(state.SlotLoaded[slot] == (reload ? quillon::kTrue : 0));
    return;
  }
  Check(services.rows == 1 && services.redraws == (reload ? 1 : 0));
  Check(state.SlotLoaded[slot] == quillon::kTrue);
  Check(std::isfinite(state.SlotLambdaStart[slot]) && std::isfinite(state.SlotLambdaEnd[slot]));
  Check(std::isfinite(state.SlotNorm[slot]) && state.SlotNorm[slot] != 0);
  Check(std::isfinite(state.SlotLevelledMax[slot]));
  const quillon::SampleArray& levelled = state.SlotLevelled[slot];
  Check(static_cast<double>(levelled.size()) == std::nearbyint(state.SlotNaxis1[slot]) + 1);
  // A missing sample is NaN; nothing is infinite, and some sample is present.
  std::size_t present = 0;
  for (std::size_t i = 1; i < levelled.size(); ++i) {
    Check(!std::isinf(levelled[i]));
    if (!std::isnan(levelled[i])) ++present;
  }
  Check(present > 0);
  const quillon::WavelengthScale scale = quillon::SlotWavelengthScale(state, slot);
  Check(std::isfinite(scale.At(0)) && std::isfinite(scale.At(state.SlotNaxis1[slot])));
  Check(state.DataLambdaMin <= state.SlotLambdaStart[slot] && state.DataLambdaMax >= state.SlotLambdaEnd[slot]);
  Check(state.PlotLambdaMin == state.DataLambdaMin && state.PlotLambdaMax == state.DataLambdaMax);
}
#else
void FuzzHeader(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int64_t cards = quillon::TextCardCount(static_cast<int64_t>(size));
  const quillon::HeaderCards header = quillon::SplitCards(text, cards);
  Check(header.cards.size() == header.keywords.size() && header.cards.size() == header.values.size());
  Check(header.LookupCount() >= 0 && header.LookupCount() < static_cast<int64_t>(header.cards.size()));
  Check(quillon::DataOffsetFor(header.header_line_count) % 2880 == 0);
  for (std::size_t n = 1; n < header.cards.size(); ++n) {
    Check(header.cards[n].size() <= 80 && header.keywords[n].size() <= 8 && header.values[n].size() <= 71);
    const quillon::LenientNumber number = quillon::ParseLenientNumber(header.values[n]);
    Check(std::isfinite(number.value));
  }
  (void)header.LastValue("BITPIX");
  (void)header.FirstValue("OBJECT");
  // The value rule on any text, not only on whole cards.
  Check(quillon::CardValue(text).find('/') == std::string::npos);
  (void)quillon::ParseLenientNumber(text);
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#ifdef QUILLON_FUZZ_HEADER
  FuzzHeader(data, size);
#else
  FuzzLoader(data, size);
#endif
  return 0;
}
