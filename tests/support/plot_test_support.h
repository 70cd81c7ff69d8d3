#pragma once
// Shared helpers of the plot tests: a plot host over a DisplayList and a
// shared state with spectra filled in directly.

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "render/display_list.h"
#include "session/export_file.h"
#include "session/printer_setup.h"
#include "render/renderer.h"
#include "session/error_text.h"
#include "session/shared_state.h"

namespace quillon::testing {

/// A PlotHost that records into a DisplayList and notes the state it sees
/// when the renderer shows it.
class RecordingHost : public PlotHost {
 public:
  explicit RecordingHost(SharedState& state, double outer_width = 10000) : state_(state), width_(outer_width) {}
  void Show() override {
    ++show_count;
    busy_at_show = state_.RenderBusy;
    frame_bottom_at_show = state_.FrameBottom;
    clears_at_show = list.ClearCount();
  }
  DrawingSurface& Surface() override { return list; }
  double OuterWidth() override { return width_; }

  DisplayList list;
  int show_count = 0;
  int16_t busy_at_show = 0;
  int16_t frame_bottom_at_show = 0;
  int clears_at_show = -1;

 private:
  SharedState& state_;
  double width_;
};

/// Loads a spectrum into `slot` as the FITS loader would leave it: samples
/// 1..n at start + dispersion * j, levelled values as given.
inline void PutSpectrum(SharedState& state, int slot, double start, double dispersion,
                        const std::vector<double>& levelled, int16_t offset = 0) {
  const auto n = static_cast<double>(levelled.size());
  state.SlotLoaded[slot] = kTrue;
  state.SlotLambda0[slot] = start;
  state.SlotLambdaStart[slot] = start;
  state.SlotDispersion[slot] = dispersion;
  state.SlotNaxis1[slot] = n;
  state.SlotLambdaEnd[slot] = start + dispersion * n;
  state.SlotLevelled[slot] = SampleArray(1, 0.0);
  state.SlotLevelled[slot].insert(state.SlotLevelled[slot].end(), levelled.begin(), levelled.end());
  state.SlotSummary[slot] = nullptr;  // new samples: the renderer summarises them again
  double top = levelled.empty() ? 0 : levelled.front();
  for (double v : levelled) top = std::fmax(top, v);
  state.SlotLevelledMax[slot] = top;
  state.SlotOffset[slot] = offset;
  state.SpectraLoaded = kTrue;
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
