#pragma once
// Shared helpers of the plot tests: a plot host over a DisplayList and a
// shared state with spectra filled in directly.

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "render/display_list.h"
#include "session/export_file.h"
#include "session/printer_setup.h"
#include "render/renderer.h"
#include "session/error_text.h"
#include "session/plot_view.h"
#include "session/shared_state.h"

namespace quillon {

// The renderer's views of one slot of a state, as the tests ask for them.

/// The spectrum of `slot` for a test to change in place. Only tests do
/// this, to a spectrum they made themselves (non-const) and before drawing.
inline Spectrum& EditSpectrum(SharedState& state, int slot) {
  return const_cast<Spectrum&>(SlotSpectrum(state, slot));
}
inline SlotPixelRange VisibleSamples(const SharedState& state, int slot) {
  return VisibleSamples(SlotSpectrum(state, slot), state.PlotLambdaMin, state.PlotLambdaMax);
}
inline AscendingSamples AscendingView(const SharedState& state, int slot) {
  return AscendingView(SlotSpectrum(state, slot));
}
inline double MaxPlottedIntensity(const SharedState& state) { return MaxPlottedIntensity(SceneOf(state).curves); }

}  // namespace quillon

namespace quillon::testing {

/// A PlotHost that records into a DisplayList and notes the state it sees
/// when the renderer shows it.
class RecordingHost : public PlotHost {
 public:
  explicit RecordingHost(SharedState& state, double outer_width = 10000) : state_(state), width_(outer_width) {}
  void Show() override {
    ++show_count;
    busy_at_show = state_.RenderBusy;
    frame_bottom_at_show = frame.bottom;
    clears_at_show = list.ClearCount();
  }
  void SetFrame(const PlotFrame& drawn) override { frame = drawn; }
  DrawingSurface& Surface() override { return list; }
  double OuterWidth() override { return width_; }

  DisplayList list;
  PlotFrame frame;  ///< of the last drawing
  int show_count = 0;
  bool busy_at_show = false;
  int16_t frame_bottom_at_show = 0;
  int clears_at_show = -1;

 private:
  SharedState& state_;
  double width_;
};

/// A spectrum as the reader would make it: samples 1..n at start +
/// dispersion * j, levelled values as given, no summary (the renderer makes
/// one for the drawing).
inline std::shared_ptr<Spectrum> MakeSpectrum(double start, double dispersion, const std::vector<double>& levelled) {
  auto spectrum = std::make_shared<Spectrum>();
  const auto n = static_cast<double>(levelled.size());
  spectrum->header.lambda0 = start;
  spectrum->header.lambda_start = start;
  spectrum->header.dispersion = dispersion;
  spectrum->header.naxis1 = n;
  spectrum->scale = {start, dispersion, false};
  spectrum->lambda_start = start;
  spectrum->lambda_end = start + dispersion * n;
  spectrum->levelled.assign(1, 0.0);
  spectrum->levelled.insert(spectrum->levelled.end(), levelled.begin(), levelled.end());
  double top = levelled.empty() ? 0 : levelled.front();
  for (double v : levelled) top = std::fmax(top, v);
  spectrum->levelled_max = top;
  return spectrum;
}

/// Puts `spectrum` into `slot` as a load publishes it (without the data
/// range): the slot holds it and is loaded, and SpectraLoaded is set.
inline Spectrum& PutSpectrum(SharedState& state, int slot, std::shared_ptr<Spectrum> spectrum, int16_t offset) {
  Slot& target = state.Slots[slot];
  target.spectrum = spectrum;
  target.header = std::shared_ptr<const SpectrumHeader>(spectrum, &spectrum->header);
  target.loaded = true;
  target.offset = offset;
  state.SpectraLoaded = true;
  return *spectrum;
}

/// Loads a spectrum into `slot` as the FITS loader would leave it: samples
/// 1..n at start + dispersion * j, levelled values as given. The spectrum is
/// returned for a test to shape further before it draws.
inline Spectrum& PutSpectrum(SharedState& state, int slot, double start, double dispersion,
                             const std::vector<double>& levelled, int16_t offset = 0) {
  return PutSpectrum(state, slot, MakeSpectrum(start, dispersion, levelled), offset);
}

/// The page the printing and export tests draw: error texts and slot
/// colours as at start-up, a sine wave of 1500 samples in slot 1 from 4000
/// Angstroms (offset -100) and a saw-tooth ramp in slot 6 from 5500, over a
/// plotted range of 4000 to 7000 Angstroms.
inline void PutWaveAndRamp(SharedState& state) {
  FillErrorText(state);
  FillSlotColors(state);
  std::vector<double> wave(1500), ramp(1500);
  for (std::size_t i = 0; i < wave.size(); ++i) {
    wave[i] = 80 + 30 * std::sin(static_cast<double>(i) / 40);
    ramp[i] = 40 + static_cast<double>(i % 300) / 4;
  }
  PutSpectrum(state, 1, 4000, 1, wave, -100);
  PutSpectrum(state, 6, 5500, 1, ramp, 0);
  state.DataLambdaMin = state.PlotLambdaMin = 4000;
  state.DataLambdaMax = state.PlotLambdaMax = 7000;
}

/// A save dialog that answers for the user and notes what it was asked.
class AnsweringSaveDialog : public SaveDialog {
 public:
  std::optional<std::string> AskFileName(const std::string& title, const std::string& proposed,
                                         const std::string& filters) override {
    ++asked;
    last_title = title;
    last_proposed = proposed;
    last_filters = filters;
    return answer;
  }
  std::optional<std::string> answer;  ///< nullopt: the user cancels
  int asked = 0;
  std::string last_title, last_proposed, last_filters;
};

/// Installed printers as a count only: enough to tell "none at all".
class CountedPrinters : public InstalledPrinters {
 public:
  explicit CountedPrinters(std::size_t count) : count_(count) {}
  std::optional<std::size_t> Count() override { return count_; }
  std::optional<std::string> DeviceName(std::size_t index) override { return "Printer " + std::to_string(index); }
  bool MakeCurrent(std::size_t) override { return false; }

 private:
  std::size_t count_;
};

}  // namespace quillon::testing
