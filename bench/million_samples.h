#pragma once
// The one-slot spectrum of 1,000,000 samples that the redraw benchmarks
// draw: 0.01 Angstroms apart from 4000, a continuum near 100 with noise, a
// few absorption and emission lines, already levelled (level 100).

#include <algorithm>
#include <cstddef>
#include <random>

#include <memory>
#include <utility>

#include "session/shared_state.h"
#include "spectrum/level_summary.h"

namespace quillon {

/// Puts into `slot` a spectrum of levelled samples 1..n (index 0 unused)
/// from `start` Angstroms in steps of `dispersion`, with its largest value
/// `top` and its level summary, as a load leaves it.
inline void PutLevelled(SharedState& state, int slot, double start, double dispersion, SampleArray levelled,
                        double top) {
  auto spectrum = std::make_shared<Spectrum>();
  const auto n = static_cast<double>(levelled.size() - 1);
  spectrum->header.lambda0 = start;
  spectrum->header.dispersion = dispersion;
  spectrum->header.naxis1 = n;
  spectrum->scale = {start, dispersion, false};
  spectrum->lambda_start = start;
  spectrum->lambda_end = start + dispersion * n;
  spectrum->norm = 100;
  spectrum->levelled = std::move(levelled);
  spectrum->levelled_max = top;
  spectrum->summary = LevelSummary::Build(spectrum->levelled);
  state.Slots[slot].spectrum = spectrum;
  state.Slots[slot].header = std::shared_ptr<const SpectrumHeader>(spectrum, &spectrum->header);
  state.Slots[slot].loaded = true;
}

inline void PutMillionSamples(SharedState& state) {
  constexpr int n = 1'000'000;
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 1.2);
  SampleArray levelled(n + 1, 0.0);
  double top = 0;
  for (int j = 1; j <= n; ++j) {
    double v = 100 + 0.0005 * j / 100 + noise(random);
    if (j % 250'000 < 400) v -= 40;      // absorption lines
    if (j % 330'000 > 329'600) v += 90;  // emission lines
    levelled[static_cast<std::size_t>(j)] = v;
    top = std::max(top, v);
  }
  PutLevelled(state, 1, 4000, 0.01, std::move(levelled), top);
  state.SpectraLoaded = true;
  state.DataLambdaMin = state.PlotLambdaMin = 4000;
  state.DataLambdaMax = state.PlotLambdaMax = 4000 + 0.01 * n;
}

}  // namespace quillon
