// IRAF multispec echelles: a 107-aperture echelle image (2048 samples a
// line, BITPIX -32) whose apertures have Chebyshev dispersions in their WAT2
// cards, as IRAF writes them (about 200 cards), read from the page cache:
//   ListEchelle: ListSpectra of the file, every aperture read and evaluated,
//     as quillon-inspect --list reads it;
//   LoadAperture: ReadSpectrumAt of file.fits[ap 160], an aperture in the
//     middle: the WAT cards, the line, its wavelengths, the level;
//   Dispersion/TYPE: EvaluateMultispec of one 2048-sample aperture whose
//     dispersion is a Chebyshev or Legendre series of order 6, a cubic
//     spline of 24 pieces, a linear spline, a 2048-point pixel array or 64
//     (pixel, coordinate) pairs; the sec_per_sample counter is the cost of
//     one wavelength in seconds.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fits/gzip_source.h"
#include "spectrum/iraf_multispec.h"
#include "spectrum/spectrum_layouts.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon;

constexpr int kLength = 2048;
constexpr int kOrders = 107;

std::string Card(const std::string& text) {
  std::string card = text.substr(0, 80);
  card.resize(80, ' ');
  return card;
}

// The WAT2 text of the echelle: aperture 107 + line, a Chebyshev series.
std::string Wat2() {
  std::string text = "wtype=multispec";
  for (int line = 1; line <= kOrders; ++line) {
    const double center = 3800 + 30 * line;
    char spec[256];
    std::snprintf(spec, sizeof spec,
                  " spec%d = \"%d %d 2 %.6f 0.02 %d 0. INDEF INDEF 1. 0. 1 5 1. %d. %.6f %.6f -0.0712 0.00314 "
                  "-0.000121\"",
                  line, 106 + line, 106 + line, center - 20.0, kLength, kLength, center, 20.0 + line * 0.01);
    text += spec;
  }
  return text;
}

fs::path EchelleFile() {
  static const fs::path path = [] {
    const fs::path p = fs::temp_directory_path() / ("quillon-multispec-bench-" + std::to_string(::getpid()) + ".fits");
    std::atexit([] {
      std::error_code ec;
      fs::remove(fs::temp_directory_path() / ("quillon-multispec-bench-" + std::to_string(::getpid()) + ".fits"), ec);
    });
    std::string header = Card("SIMPLE  =                    T") + Card("BITPIX  =                  -32") +
                         Card("NAXIS   =                    2") + Card("NAXIS1  = " + std::to_string(kLength)) +
                         Card("NAXIS2  = " + std::to_string(kOrders)) + Card("CTYPE1  = 'MULTISPE'") +
                         Card("CTYPE2  = 'MULTISPE'") + Card("WAT0_001= 'system=multispec'") +
                         Card("WAT1_001= 'wtype=multispec label=Wavelength units=angstroms'");
    const std::string wat2 = Wat2();
    for (std::size_t at = 0, k = 1; at < wat2.size(); at += 68, ++k) {
      char keyword[16];
      std::snprintf(keyword, sizeof keyword, "WAT2_%03zu", k);
      header += Card(std::string(keyword) + "= '" + wat2.substr(at, 68) + "'");
    }
    header += Card("END");
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    std::string data;
    data.reserve(static_cast<std::size_t>(kLength) * kOrders * 4);
    for (int line = 0; line < kOrders; ++line) {
      for (int i = 0; i < kLength; ++i) {
        const float v = static_cast<float>(1000 + 200 * std::sin(i * 0.003) - (i % 97 == 0 ? 400 : 0) + line);
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int k = 3; k >= 0; --k) data += static_cast<char>((bits >> (8 * k)) & 0xFF);
      }
    }
    data.resize((data.size() + 2879) / 2880 * 2880, '\0');
    std::ofstream(p, std::ios::binary) << header << data;
    return p;
  }();
  return path;
}

void BM_ListEchelle(benchmark::State& state) {
  const std::string path = EchelleFile().string();
  for (auto _ : state) {
    std::string reason;
    std::unique_ptr<ByteSource> source = OpenFitsBytes(path, reason);
    const SpectrumList list = ListSpectra(*source, path);
    if (list.spectra.size() != kOrders) state.SkipWithError("the echelle does not list 107 apertures");
    benchmark::DoNotOptimize(list);
  }
}

void BM_LoadAperture(benchmark::State& state) {
  const std::string path = EchelleFile().string();
  for (auto _ : state) {
    const ReadResult r = ReadSpectrumAt(path + "[ap 160]", path, {});
    if (!r.spectrum) state.SkipWithError("aperture 160 does not load");
    benchmark::DoNotOptimize(r);
  }
}

void BM_Dispersion(benchmark::State& state) {
  MultispecWcs wcs;
  MultispecAperture ap;
  ap.dtype = 2;
  ap.nw = kLength;
  MultispecFunction f;
  f.type = static_cast<int>(state.range(0));
  f.pmin = 1;
  f.pmax = kLength;
  switch (f.type) {
    case MultispecFunction::kChebyshev:
    case MultispecFunction::kLegendre:
      f.count = 6, f.values = {5000, 20, -0.07, 0.003, -1e-4, 2e-6};
      break;
    case MultispecFunction::kCubicSpline:
      f.count = 24, f.values.assign(27, 0);
      break;
    case MultispecFunction::kLinearSpline:
      f.count = 24, f.values.assign(25, 0);
      break;
    case MultispecFunction::kPixelArray:
      f.count = kLength, f.values.assign(kLength, 0);
      break;
    default:
      f.count = 64, f.values.assign(128, 0);
      break;
  }
  for (std::size_t k = 0; k < f.values.size() && f.type >= 3; ++k) {
    f.values[k] = f.type == MultispecFunction::kPairs && k % 2 == 0 ? 1 + 32.5 * static_cast<double>(k)
                                                                    : 5000 + static_cast<double>(k);
  }
  ap.functions.push_back(f);
  std::vector<double> out(kLength);
  for (auto _ : state) {
    EvaluateMultispec(wcs, ap, kLength, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  // Seconds per wavelength: "2.5n" is 2.5 ns.
  state.counters["sec_per_sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLength,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_ListEchelle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadAperture)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Dispersion)->DenseRange(1, 6)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
