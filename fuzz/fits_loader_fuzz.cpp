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
#include <memory>
#include <string>
#include <string_view>

#include "fits/byte_source.h"
#include "spectrum/spectrum_reader.h"
#include "fits/header_reader.h"
#include "session/shared_state.h"
#include "session/slot_loading.h"
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
  quillon::SpectrumPtr before;
  if (reload) {
    auto spectrum = std::make_shared<quillon::Spectrum>();
    spectrum->header.naxis1 = 2;
    spectrum->header.dispersion = 500;
    spectrum->lambda_start = 5000;
    spectrum->lambda_end = 6000;
    spectrum->levelled = {0, 100, 50};
    before = spectrum;
    state.Slots[slot].spectrum = before;
    state.Slots[slot].loaded = true;
    state.DataLambdaMin = 5000;
    state.DataLambdaMax = 6000;
    state.PlotWindowOpen = true;
  }
  const double min_before = state.DataLambdaMin;
  const double max_before = state.DataLambdaMax;

  quillon::MemorySource source(data, size);
  quillon::ReadResult read = quillon::ReadSpectrum(source, "fuzz.fts", quillon::KeywordsOf(state), &state.LoaderScratch);
  const bool accepted = read.spectrum != nullptr;
  quillon::PublishReadResult(state, slot, std::move(read), services, services, services);

  if (!accepted) {
    // A refusal leaves the slot drawing what it drew.
    Check(services.rows == 0 && services.redraws == 0);
    Check(state.DataLambdaMin == min_before && state.DataLambdaMax == max_before);
    Check(state.Slots[slot].loaded == reload && state.Slots[slot].spectrum == before);
    return;
  }
  Check(services.rows == 1 && services.redraws == (reload ? 1 : 0));
  Check(state.Slots[slot].loaded);
  Check(std::isfinite(SlotSpectrum(state, slot).lambda_start) && std::isfinite(SlotSpectrum(state, slot).lambda_end));
  Check(std::isfinite(SlotSpectrum(state, slot).norm) && SlotSpectrum(state, slot).norm != 0);
  Check(std::isfinite(SlotSpectrum(state, slot).levelled_max));
  const quillon::SampleArray& levelled = SlotSpectrum(state, slot).levelled;
  Check(static_cast<double>(levelled.size()) == std::nearbyint(SlotHeader(state, slot).naxis1) + 1);
  // A missing sample is NaN; nothing is infinite, and some sample is present.
  std::size_t present = 0;
  for (std::size_t i = 1; i < levelled.size(); ++i) {
    Check(!std::isinf(levelled[i]));
    if (!std::isnan(levelled[i])) ++present;
  }
  Check(present > 0);
  const quillon::WavelengthScale scale = quillon::SlotSpectrum(state, slot).DrawnScale();
  Check(std::isfinite(scale.At(0)) && std::isfinite(scale.At(SlotHeader(state, slot).naxis1)));
  Check(state.DataLambdaMin <= SlotSpectrum(state, slot).lambda_start && state.DataLambdaMax >= SlotSpectrum(state, slot).lambda_end);
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
