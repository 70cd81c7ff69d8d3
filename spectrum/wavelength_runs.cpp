#include "spectrum/wavelength_runs.h"

#include <algorithm>
#include <cmath>

namespace quillon {

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
    int direction = 0;  // +1 rising, -1 falling, 0 not yet known
    int64_t j = i;
    while (j < limit) {
      const double next = w[j + 1];
      if (!std::isfinite(next)) break;
      const int step = next > w[j] ? 1 : (next < w[j] ? -1 : 0);
      if (direction == 0) direction = step;
      else if (step != 0 && step != direction) break;
      ++j;
    }
    runs.push_back({i, j});
    i = j + 1;
  }
  return runs;
}

}  // namespace quillon
