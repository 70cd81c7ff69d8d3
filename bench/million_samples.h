#pragma once
// The one-slot spectrum of 1,000,000 samples that the redraw benchmarks
// draw: 0.01 Angstroms apart from 4000, a continuum near 100 with noise, a
// few absorption and emission lines, already levelled (level 100).

#include <algorithm>
#include <cstddef>
#include <random>

#include "session/shared_state.h"

namespace quillon {

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
  const int slot = 1;
  state.Slots[slot].loaded = true;
  EditSpectrum(state, slot).header.lambda0 = 4000;
  EditSpectrum(state, slot).lambda_start = 4000;
  EditSpectrum(state, slot).header.dispersion = 0.01;
  EditSpectrum(state, slot).header.naxis1 = n;
  EditSpectrum(state, slot).lambda_end = 4000 + 0.01 * n;
  EditSpectrum(state, slot).intensity = levelled;
  EditSpectrum(state, slot).norm = 100;
  EditSpectrum(state, slot).levelled = std::move(levelled);
  EditSpectrum(state, slot).summary = nullptr;
  EditSpectrum(state, slot).levelled_max = top;
  state.SpectraLoaded = true;
  state.DataLambdaMin = state.PlotLambdaMin = 4000;
  state.DataLambdaMax = state.PlotLambdaMax = 4000 + 0.01 * n;
}

}  // namespace quillon
