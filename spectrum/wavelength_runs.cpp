#include "spectrum/wavelength_runs.h"

#include <algorithm>
#include <cmath>

namespace quillon {

namespace {

// The last sample of the stretch that runs from j up (or down) to at most
// `limit`, equal neighbours included; a wavelength that is not a number
// ends it (every comparison with NaN is false). Blocks of samples are
// checked without a branch, so that the common case, a stretch of
// millions, runs at the speed of memory.
template <bool kUp>
int64_t StretchEnd(const double* w, int64_t j, int64_t limit) {
  constexpr int64_t kBlock = 64;
  const auto follows = [w](int64_t k) { return kUp ? w[k + 1] >= w[k] : w[k + 1] <= w[k]; };
  while (j + kBlock <= limit) {
    bool all = true;
    for (int64_t k = j; k < j + kBlock; ++k) all &= follows(k);
    if (!all) break;
    j += kBlock;
  }
  while (j < limit && follows(j)) ++j;
  return j;
}

}  // namespace

std::vector<SampleRun> WavelengthRuns(const SampleArray& wavelengths, int64_t n, std::span<const int64_t> cuts) {
  std::vector<SampleRun> runs;
  n = std::min<int64_t>(n, static_cast<int64_t>(wavelengths.size()) - 1);
  const double* w = wavelengths.data();
  auto cut = cuts.begin();
  for (int64_t i = 1; i <= n;) {
    if (!std::isfinite(w[i])) {
      ++i;
      continue;
    }
    while (cut != cuts.end() && *cut <= i) ++cut;
    const int64_t limit = cut == cuts.end() ? n : std::min(n, *cut - 1);
    // The direction is that of the first wavelength that differs.
    int64_t j = i;
    while (j < limit && w[j + 1] == w[i]) ++j;
    if (j < limit && std::isfinite(w[j + 1])) j = w[j + 1] > w[i] ? StretchEnd<true>(w, j, limit) : StretchEnd<false>(w, j, limit);
    // An infinite wavelength belongs to no stretch either.
    while (j > i && !std::isfinite(w[j])) --j;
    runs.push_back({i, j});
    i = j + 1;
  }
  return runs;
}

}  // namespace quillon
