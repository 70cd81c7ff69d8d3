// Loading one 3000-sample spectrum, as the file chooser's OK does: the folder
// made current, the file opened and its header read and checked, the samples
// decoded, the wavelength range set, the level computed and the slot
// published. One file per BITPIX (16 stored unsigned with BZERO 32768, 32,
// -32, -64), written once into a fresh temporary folder before the runs;
// after the first run the file comes from the page cache, as a spectrum just
// picked in the chooser does.
// Target: at least 20 times faster than the Python peer (astropy) on -32.
// Then files of 10^3 to 10^7 samples beside a plain read of the same bytes:
// each load within 3 times the read plus 5 ns a sample (a reload, and for
// reference the first load into a fresh program).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "fits/byte_source.h"
#include "spectrum/spectrum_reader.h"
#include "fits/sample_decoder.h"
#include "base/large_buffer.h"
#include "session/shared_state.h"
#include "session/slot_loading.h"
#include "session/window_services.h"

namespace quillon {
namespace {

constexpr int kSamples = 3000;
constexpr int16_t kSlot = 1;

std::filesystem::path& Folder() {
  static std::filesystem::path folder;
  return folder;
}

std::string FileName(int bitpix) { return "bench" + std::to_string(bitpix < 0 ? -bitpix : bitpix) +
                                          (bitpix < 0 ? "f" : "i") + ".fts"; }

std::string Card(const std::string& text) {
  std::string card = text.substr(0, 80);
  card.resize(80, ' ');
  return card;
}

// A continuum near 1000 with noise, a few absorption lines and an emission
// line, as the Python peer's files hold.
std::vector<double> Spectrum() {
  std::mt19937 random(1);
  std::normal_distribution<double> noise(0, 12);
  std::vector<double> values(kSamples);
  for (int i = 0; i < kSamples; ++i) {
    const double x = static_cast<double>(i) / kSamples;
    double v = 1000 + 0.05 * i + noise(random);
    v -= 300 * std::exp(-0.5 * std::pow((x - 0.2) * kSamples / 4.0, 2));
    v -= 500 * std::exp(-0.5 * std::pow((x - 0.45) * kSamples / 2.5, 2));
    v += 900 * std::exp(-0.5 * std::pow((x - 0.58) * kSamples / 3.0, 2));
    values[static_cast<std::size_t>(i)] = v;
  }
  return values;
}

template <typename U>
void AppendBigEndian(std::string& out, U bits) {
  for (int shift = 8 * (static_cast<int>(sizeof(U)) - 1); shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((bits >> shift) & 0xFF));
}

// The whole file: header padded to 2880 bytes, samples, data padded likewise.
std::string FileBytes(int bitpix) {
  std::vector<std::string> cards = {
      "SIMPLE  =                    T",
      "BITPIX  = " + std::string(20 - std::to_string(bitpix).size(), ' ') + std::to_string(bitpix),
      "NAXIS   =                    1",
      "NAXIS1  =                 3000",
      "OBJECT  = 'BENCH 3000'",
      "CRVAL1  =               4000.0",
      "CD1_1   =                  1.0",
  };
  if (bitpix == 16) cards.push_back("BZERO   =              32768.0");
  cards.push_back("END");
  std::string bytes;
  for (const std::string& card : cards) bytes += Card(card);
  bytes.resize((bytes.size() + 2879) / 2880 * 2880, ' ');
  for (const double v : Spectrum()) {
    switch (bitpix) {
      case 16: AppendBigEndian(bytes, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v) - 32768))); break;
      case 32: AppendBigEndian(bytes, static_cast<uint32_t>(static_cast<int32_t>(std::lround(v)))); break;
      case -32: AppendBigEndian(bytes, std::bit_cast<uint32_t>(static_cast<float>(v))); break;
      default: AppendBigEndian(bytes, std::bit_cast<uint64_t>(v)); break;
    }
  }
  bytes.resize((bytes.size() + 2879) / 2880 * 2880, '\0');
  return bytes;
}

class NullServices : public MessageSink, public RowDisplay, public PlotRedraw {
 public:
  int messages = 0;
  void ShowMessage(const std::string&) override { ++messages; }
  void ShowLoadedRow(int16_t) override {}
  void SetOffsetText(int16_t, const std::string&) override {}
  void RenderPlot() override {}
};

// The real path: LoadFitsSpectrum from FitsDirectory and the slot's file name.
void BM_LoadFitsSpectrum(benchmark::State& bench) {
  const int bitpix = static_cast<int>(bench.range(0));
  SharedState state;
  state.FitsDirectory = Folder().string();
  state.Slots[kSlot].file_name = FileName(bitpix);
  NullServices services;
  for (auto _ : bench) {
    (void)LoadFitsSpectrum(state, kSlot, services, services, services);
    benchmark::DoNotOptimize(SlotSpectrum(state, kSlot).levelled_max);
  }
  if (services.messages != 0 || !state.Slots[kSlot].loaded ||
      SlotSpectrum(state, kSlot).levelled.size() != static_cast<std::size_t>(kSamples) + 1)
    bench.SkipWithError("the benchmark file did not load cleanly");
  bench.counters["samples"] = kSamples;
}

BENCHMARK(BM_LoadFitsSpectrum)->Arg(16)->Arg(32)->Arg(-32)->Arg(-64)->Unit(benchmark::kMicrosecond);

// The same bytes from memory: the reader and the publishing without the file
// system (folder, open, read), for reference.
void BM_LoadFromMemory(benchmark::State& bench) {
  const int bitpix = static_cast<int>(bench.range(0));
  const std::string bytes = FileBytes(bitpix);
  SharedState state;
  NullServices services;
  for (auto _ : bench) {
    MemorySource source(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    const FitsLoadDetails details = PublishReadResult(
        state, kSlot, ReadSpectrum(source, "bench.fts", KeywordsOf(state), &state.LoaderScratch), services, services,
        services);
    benchmark::DoNotOptimize(details.published);
  }
  if (services.messages != 0 || !state.Slots[kSlot].loaded)
    bench.SkipWithError("the benchmark bytes did not load cleanly");
}

BENCHMARK(BM_LoadFromMemory)->Arg(16)->Arg(32)->Arg(-32)->Arg(-64)->Unit(benchmark::kMicrosecond);

// The samples alone, two ways: every byte fetched by its own one-byte read
// and assembled by the literal arithmetic, against the data block read in
// one piece and decoded from memory, as the loader does.
void BM_SamplesByteByByte(benchmark::State& bench) {
  const int bitpix = static_cast<int>(bench.range(0));
  const std::string path = (Folder() / FileName(bitpix)).string();
  std::vector<double> samples;
  for (auto _ : bench) {
    if (!ReadSamplesByteByByte(path, 2880, kSamples, bitpix, bitpix == 16 ? 32768 : 0, samples)) bench.SkipWithError("read failed");
    benchmark::DoNotOptimize(samples.data());
  }
}
BENCHMARK(BM_SamplesByteByByte)->Arg(16)->Arg(-32)->Arg(-64)->Unit(benchmark::kMicrosecond);

void BM_SamplesInOnePiece(benchmark::State& bench) {
  const int bitpix = static_cast<int>(bench.range(0));
  const std::string path = (Folder() / FileName(bitpix)).string();
  const int64_t length = int64_t{kSamples} * BytesPerSample(bitpix);
  std::vector<unsigned char> block(static_cast<std::size_t>(length));
  std::vector<double> samples;
  for (auto _ : bench) {
    std::string reason, error;
    std::unique_ptr<FileSource> source = FileSource::Open(path, reason);
    if (!source || !source->Read(2880, length, block.data(), error)) bench.SkipWithError("read failed");
    (void)DecodeSamples(block.data(), kSamples, bitpix, bitpix == 16 ? 32768 : 0, samples);
    benchmark::DoNotOptimize(samples.data());
  }
}
BENCHMARK(BM_SamplesInOnePiece)->Arg(16)->Arg(-32)->Arg(-64)->Unit(benchmark::kMicrosecond);

// ---- Scaling: 10^3 to 10^7 samples ---------------------------------------------

// Files of n float samples (BITPIX -32, as the Python peer's), the same
// spectrum shape at every length.
std::string ScalingName(int64_t n) { return "scale" + std::to_string(n) + ".fts"; }

// A header card "KEY     = value" with the value right-justified in 20 columns.
std::string NumberCard(const char* key, double value) {
  char text[81];
  std::snprintf(text, sizeof text, "%-8s= %20.12g", key, value);
  return text;
}

std::string ScalingBytes(int64_t n) {
  const std::vector<std::string> cards = {
      "SIMPLE  =                    T", "BITPIX  =                  -32", "NAXIS   =                    1",
      NumberCard("NAXIS1", static_cast<double>(n)), "OBJECT  = 'BENCH SCALING'", NumberCard("CRVAL1", 4000),
      NumberCard("CD1_1", 3000.0 / static_cast<double>(n)), "END"};
  std::string bytes;
  for (const std::string& card : cards) bytes += Card(card);
  bytes.resize((bytes.size() + 2879) / 2880 * 2880, ' ');
  std::mt19937 random(1);
  std::normal_distribution<double> noise(0, 12);
  bytes.reserve(bytes.size() + static_cast<std::size_t>(n) * 4 + 2880);
  for (int64_t i = 0; i < n; ++i) {
    const double x = static_cast<double>(i) / static_cast<double>(n);
    double v = 1000 + 150 * x + noise(random);
    if (std::fabs(x - 0.2) < 0.001) v -= 300;
    if (std::fabs(x - 0.58) < 0.0005) v += 900;
    AppendBigEndian(bytes, std::bit_cast<uint32_t>(static_cast<float>(v)));
  }
  bytes.resize((bytes.size() + 2879) / 2880 * 2880, '\0');
  return bytes;
}

constexpr int64_t kScalingSizes[] = {1000, 10000, 100000, 1000000, 10000000};

// The loader on a file of n samples, from the page cache; a reload into the
// same slot, as the user reloading a spectrum. The slot is loaded once
// before the timed loads, so every timed load is a reload.
void BM_LoadScaling(benchmark::State& bench) {
  const int64_t n = bench.range(0);
  SharedState state;
  state.FitsDirectory = Folder().string();
  state.Slots[kSlot].file_name = ScalingName(n);
  NullServices services;
  (void)LoadFitsSpectrum(state, kSlot, services, services, services);
  for (auto _ : bench) {
    (void)LoadFitsSpectrum(state, kSlot, services, services, services);
    benchmark::DoNotOptimize(SlotSpectrum(state, kSlot).levelled_max);
  }
  if (services.messages != 0 || SlotSpectrum(state, kSlot).levelled.size() != static_cast<std::size_t>(n) + 1)
    bench.SkipWithError("the scaling file did not load cleanly");
  bench.counters["samples"] = static_cast<double>(n);
}
BENCHMARK(BM_LoadScaling)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Arg(10000000)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// The first load of a file of n samples into a program that has loaded
// nothing: every array is fresh memory (a fresh state each time, made and
// dropped outside the timing).
void BM_FirstLoadScaling(benchmark::State& bench) {
  const int64_t n = bench.range(0);
  NullServices services;
  bool loaded = true;
  for (auto _ : bench) {
    bench.PauseTiming();
    auto state = std::make_unique<SharedState>();
    state->FitsDirectory = Folder().string();
    state->Slots[kSlot].file_name = ScalingName(n);
    bench.ResumeTiming();
    (void)LoadFitsSpectrum(*state, kSlot, services, services, services);
    benchmark::DoNotOptimize(SlotSpectrum(*state, kSlot).levelled_max);
    bench.PauseTiming();
    loaded = loaded && SlotSpectrum(*state, kSlot).levelled.size() == static_cast<std::size_t>(n) + 1;
    state.reset();
    bench.ResumeTiming();
  }
  if (services.messages != 0 || !loaded) bench.SkipWithError("the scaling file did not load cleanly");
  bench.counters["samples"] = static_cast<double>(n);
}
BENCHMARK(BM_FirstLoadScaling)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Arg(10000000)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// The limit: the same file opened and its bytes read from the page cache
// into a buffer that stays allocated, nothing decoded.
void BM_PlainRead(benchmark::State& bench) {
  const int64_t n = bench.range(0);
  const std::string path = (Folder() / ScalingName(n)).string();
  std::vector<unsigned char> buffer(static_cast<std::size_t>(std::filesystem::file_size(path)));
  for (auto _ : bench) {
    std::string reason, error;
    std::unique_ptr<FileSource> source = FileSource::Open(path, reason);
    if (!source || !source->Read(0, static_cast<int64_t>(buffer.size()), buffer.data(), error))
      bench.SkipWithError("read failed");
    benchmark::DoNotOptimize(buffer.data());
  }
  bench.counters["samples"] = static_cast<double>(n);
}
BENCHMARK(BM_PlainRead)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Arg(10000000)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// What a load of n samples cannot go below once its two arrays (the
// samples and their levels, 16 bytes a sample) are new memory, as they are
// for every load above the size the loader keeps for the next one: the
// system providing and clearing their pages, one write of every element, and
// giving them back, on one thread. The loader has a second thread provide
// some of the pages meanwhile.
void BM_FreshArrays(benchmark::State& bench) {
  const auto n = static_cast<std::size_t>(bench.range(0));
  for (auto _ : bench) {
    SampleArray samples, levelled;
    ReserveLarge(samples, n + 1);
    ReserveLarge(levelled, n + 1);
    samples.resize(n + 1);
    levelled.resize(n + 1);
    benchmark::DoNotOptimize(samples.data());
    benchmark::DoNotOptimize(levelled.data());
  }
  bench.counters["samples"] = static_cast<double>(n);
}
BENCHMARK(BM_FreshArrays)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime();

bool WriteFiles() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillon-load-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return false;
  Folder() = pattern;
  for (const int bitpix : {16, 32, -32, -64}) {
    std::ofstream out(Folder() / FileName(bitpix), std::ios::binary);
    const std::string bytes = FileBytes(bitpix);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  for (const int64_t n : kScalingSizes) {
    std::ofstream out(Folder() / ScalingName(n), std::ios::binary);
    const std::string bytes = ScalingBytes(n);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  return true;
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const std::filesystem::path start = std::filesystem::current_path();
  const bool written = quillon::WriteFiles();
  if (written) benchmark::RunSpecifiedBenchmarks();
  else std::fprintf(stderr, "fits_load_bench: cannot write the benchmark files in %s\n",
                    std::filesystem::temp_directory_path().c_str());
  benchmark::Shutdown();
  // The loader makes the folder current; leave it before removing it.
  std::error_code ec;
  std::filesystem::current_path(start, ec);
  if (!quillon::Folder().empty()) std::filesystem::remove_all(quillon::Folder(), ec);
  return written ? 0 : 1;
}
