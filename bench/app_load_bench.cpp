// Loading sixteen 3000-sample spectra one after another into the running
// program with its plot window open: each step is the whole of what a user
// waits for after pressing OK in the chooser (read, decode, level, publish
// the row, redraw every loaded spectrum and rasterise the picture).
// Target: each load-and-redraw step under 50 ms.
// Then the same program redrawing one spectrum of 1,000,000 samples in its
// plot window, about 1000 x 600 pixels of client area: RenderPlot through
// the window's own surface (the display list and the live buffer) and the
// picture made ready to paint. Target: under 30 ms.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/quillon_app.h"
#include "bench/million_samples.h"
#include "session/slot_loading.h"
#include "qt/plot_window.h"
#include "qt/main_window.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class SilentSink : public MessageSink {
 public:
  void ShowMessage(const std::string&) override { ++count; }
  int count = 0;
};

std::string Card(std::string text) {
  text.resize(80, ' ');
  return text;
}

// A 3000-sample BITPIX -32 spectrum, bytes written by hand.
void WriteSpectrum(const fs::path& path, int index) {
  std::string header = Card("SIMPLE  =                    T") + Card("BITPIX  =                  -32") +
                       Card("NAXIS   =                    1") + Card("NAXIS1  =                 3000") +
                       Card("CRVAL1  =               " + std::to_string(4000 + 10 * index)) +
                       Card("CD1_1   =                  1.0") + Card("OBJECT  = 'Bench star " + std::to_string(index) + "'") +
                       Card("END");
  header.resize(2880, ' ');
  std::string data;
  for (int i = 1; i <= 3000; ++i) {
    const float value = static_cast<float>(1000 + 200 * std::sin(i * 0.01 * (index + 1)) + (i % 97));
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 24; shift >= 0; shift -= 8) data += static_cast<char>((bits >> shift) & 0xFF);
  }
  data.resize((data.size() + 2879) / 2880 * 2880, '\0');
  std::ofstream(path, std::ios::binary) << header << data;
}

// The whole program started in a fresh folder of its own, with a sink that
// counts messages; the folder goes when the benchmark ends.
class BenchProgram {
 public:
  explicit BenchProgram(const std::string& folder_name) : dir_(fs::temp_directory_path() / folder_name) {
    fs::create_directories(dir_);
    fs::current_path(dir_);
    options_.messages = &sink_;
    options_.end_program = [] {};
    options_.settings_file = dir_ / "Quillon3.ini";
    app_ = std::make_unique<QuillonApp>(options_);
    app_->Start();
  }
  ~BenchProgram() {
    app_.reset();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir_);
  }
  BenchProgram(const BenchProgram&) = delete;
  BenchProgram& operator=(const BenchProgram&) = delete;

  const fs::path& Dir() const { return dir_; }
  QuillonApp& App() { return *app_; }
  int Messages() const { return sink_.count; }

 private:
  fs::path dir_;
  SilentSink sink_;
  QuillonApp::Options options_;
  std::unique_ptr<QuillonApp> app_;
};

void BM_LoadAndRedrawWithSixteenLoaded(benchmark::State& bench) {
  BenchProgram program("quillon-app-load-bench");
  const fs::path& dir = program.Dir();
  for (int i = 1; i <= kSlotCount; ++i) WriteSpectrum(dir / ("s" + std::to_string(i) + ".fts"), i);
  QuillonApp& app = program.App();
  SharedState& state = app.State();
  const auto load = [&](int slot) {
    state.CurrentSlot = static_cast<int16_t>(slot);
    AcceptFitsFile(state, dir.string(), "s" + std::to_string(slot) + ".fts", app);
    if (PlotWindow* plot = app.PlotWindowIfLoaded()) plot->RasterizeNow();
  };
  load(1);
  app.Main().plot_button_->click();  // opens the plot: every later load redraws it
  for (int slot = 2; slot <= kSlotCount; ++slot) load(slot);

  int slot = 0;
  for (auto _ : bench) {
    load(slot % kSlotCount + 1);
    ++slot;
  }
  if (program.Messages() != 0) bench.SkipWithError("a load gave a message");
}
BENCHMARK(BM_LoadAndRedrawWithSixteenLoaded)->Unit(benchmark::kMillisecond);

void BM_PlotWindow_MillionSamples(benchmark::State& bench) {
  BenchProgram program("quillon-app-million-bench");
  QuillonApp& app = program.App();
  PutMillionSamples(app.State());
  app.Main().plot_button_->click();  // Plot Spectra
  PlotWindow* plot = app.PlotWindowIfLoaded();
  if (plot == nullptr) {
    bench.SkipWithError("the plot window did not open");
    return;
  }
  // The client area at about 1000 x 600 pixels, as render_bench draws.
  const QSize client = plot->ClientArea()->size();
  plot->resize(plot->size() + QSize(1000, 600) - client);
  QCoreApplication::processEvents();
  plot->RasterizeNow();
  for (auto _ : bench) {
    app.RenderPlot();
    plot->RasterizeNow();
  }
  bench.counters["segments"] = static_cast<double>(plot->Drawing().LineCount());
  bench.counters["client_px"] = plot->ClientArea()->width() * plot->ClientArea()->height();
}
BENCHMARK(BM_PlotWindow_MillionSamples)->Unit(benchmark::kMillisecond);

// A 10,000,000-sample BITPIX -32 spectrum over 4000-7000 Angstroms.
void WriteLongSpectrum(const fs::path& path, int64_t n) {
  std::string header = Card("SIMPLE  =                    T") + Card("BITPIX  =                  -32") +
                       Card("NAXIS   =                    1") + Card("NAXIS1  =             " + std::to_string(n)) +
                       Card("CRVAL1  =               4000.0") +
                       Card("CD1_1   =               " + std::to_string(3000.0 / static_cast<double>(n))) +
                       Card("OBJECT  = 'Long bench star'") + Card("END");
  header.resize(2880, ' ');
  std::string data;
  data.reserve(static_cast<std::size_t>(n) * 4 + 2880);
  for (int64_t i = 1; i <= n; ++i) {
    const float value = static_cast<float>(1000 + 200 * std::sin(static_cast<double>(i) * 1e-5) + (i % 97));
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 24; shift >= 0; shift -= 8) data += static_cast<char>((bits >> shift) & 0xFF);
  }
  data.resize((data.size() + 2879) / 2880 * 2880, '\0');
  std::ofstream(path, std::ios::binary) << header << data;
}

double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  return -1;
}

// The first opening of the plot window with one loaded spectrum of
// 10,000,000 samples: from the click on Plot Spectra to the first frame
// painted (the window created and shown, RenderPlot, the picture painted
// into the window's backing store). Each repetition is a fresh program.
// Then resident memory with the plot window open at a client area of
// 1000 x 600 pixels and the spectrum drawn, and again after the same file
// is loaded once more (rss_reload_mib).
void BM_PlotWindow_FirstOpenTenMillion(benchmark::State& bench) {
  const fs::path file = fs::temp_directory_path() / "quillon-ten-million-bench.fts";
  constexpr int64_t kSamples = 10'000'000;
  if (!fs::exists(file) || fs::file_size(file) < static_cast<std::uintmax_t>(kSamples) * 4)
    WriteLongSpectrum(file, kSamples);
  double rss = 0;
  double reload_rss = 0;
  for (auto _ : bench) {
    bench.PauseTiming();
    {
      auto program = std::make_unique<BenchProgram>("quillon-app-open-bench");
      QuillonApp& app = program->App();
      app.State().CurrentSlot = 1;
      AcceptFitsFile(app.State(), file.parent_path().string(), file.filename().string(), app);
      QCoreApplication::processEvents();
      bench.ResumeTiming();
      app.Main().plot_button_->click();  // Plot Spectra
      PlotWindow* plot = app.PlotWindowIfLoaded();
      if (plot == nullptr) {
        bench.SkipWithError("the plot window did not open");
        break;
      }
      plot->repaint();  // the first frame, painted at once
      bench.PauseTiming();
      const QSize client = plot->ClientArea()->size();
      plot->resize(plot->size() + QSize(1000, 600) - client);
      QCoreApplication::processEvents();
      plot->repaint();
      rss = std::max(rss, ResidentMiB());
      // The same file loaded again into its slot with the window open: the
      // loader keeps the slot's previous arrays for the next load.
      AcceptFitsFile(app.State(), file.parent_path().string(), file.filename().string(), app);
      QCoreApplication::processEvents();
      plot->repaint();
      reload_rss = std::max(reload_rss, ResidentMiB());
      if (program->Messages() != 0) bench.SkipWithError("the load gave a message");
    }
    bench.ResumeTiming();
  }
  bench.counters["rss_mib"] = rss;
  bench.counters["rss_reload_mib"] = reload_rss;
}
BENCHMARK(BM_PlotWindow_FirstOpenTenMillion)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
