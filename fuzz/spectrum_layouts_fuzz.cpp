// libFuzzer entry point for the layouts of spectra in extensions and tables
// (and the apertures of IRAF multispec images),
// with bytes in memory: the listing of every spectrum, the plain read and
// the read of each listed address. Besides the sanitizers, each run checks
// what the reader promises: a spectrum or a refusal with its sentence, a
// spectrum's arrays as long as its samples, every missing sample NaN, the
// flagged ones among them, and the address of each listed spectrum naming
// that spectrum.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fits/byte_source.h"
#include "spectrum/spectrum_layouts.h"

namespace {

using namespace quillon;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckRead(const ReadResult& r) {
  if (r.spectrum == nullptr) {
    Check(!r.messages.empty() && !r.messages.back().empty());
    return;
  }
  const Spectrum& s = *r.spectrum;
  const auto n = static_cast<std::size_t>(s.SampleCount());
  Check(n >= 1 && s.intensity.size() == n + 1 && s.levelled.size() == n + 1);
  Check(s.wavelengths.empty() || s.wavelengths.size() == n + 1);
  Check(s.uncertainty.empty() || s.uncertainty.size() == n + 1);
  int64_t missing = 0;
  for (std::size_t i = 1; i <= n; ++i) {
    Check(!std::isinf(s.intensity[i]));
    missing += std::isnan(s.intensity[i]);
  }
  Check(missing == s.missing && s.flagged <= s.missing && s.missing < static_cast<int64_t>(n));
  Check(std::isfinite(s.norm) && s.norm != 0 && std::isfinite(s.lambda_start) && std::isfinite(s.lambda_end));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemorySource source(data, size);
  const SpectrumList list = ListSpectra(source, "f.fits");
  Check(!list.spectra.empty() || !list.refusal.empty());
  CheckRead(ReadSelectedSpectrum(source, "f.fits", {}, {}));
  int tried = 0;
  for (const SpectrumListEntry& entry : list.spectra) {
    if (++tried > 8) break;
    const std::optional<SpectrumAddress> address = ParseSpectrumAddress(entry.address);
    Check(address.has_value() && address->file == "f.fits");
    const ReadResult r = ReadSelectedSpectrum(source, "f.fits", address->selector, {});
    CheckRead(r);
    // The address names the listed spectrum: same samples, same flags.
    if (r.spectrum != nullptr && (entry.origin.hdu != 0 || entry.aperture)) {
      Check(static_cast<int64_t>(r.spectrum->SampleCount()) == entry.n);
      Check(r.spectrum->flagged == entry.flagged);
      Check(r.spectrum->origin.hdu == entry.origin.hdu && r.spectrum->origin.row == entry.origin.row);
    }
  }
  // An HDU of several spectra read whole: as many samples as its spectra,
  // its pieces never joined.
  if (!list.spectra.empty() && !list.spectra.front().whole_address.empty()) {
    const SpectrumListEntry& first = list.spectra.front();
    int64_t samples = 0;
    for (const SpectrumListEntry& entry : list.spectra)
      if (entry.whole_address == first.whole_address) samples += entry.n;
    const std::optional<SpectrumAddress> whole = ParseSpectrumAddress(first.whole_address);
    Check(whole.has_value() && whole->selector.all);
    const ReadResult r = ReadSelectedSpectrum(source, "f.fits", whole->selector, {});
    CheckRead(r);
    if (r.spectrum != nullptr) {
      Check(static_cast<int64_t>(r.spectrum->SampleCount()) == samples);
      for (const SampleRun& run : r.spectrum->runs) Check(run.first >= 1 && run.first <= run.last && run.last <= samples);
    }
  }
  return 0;
}
