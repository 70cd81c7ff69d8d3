// quillon-render: loads FITS spectra into slots 1, 2, ... with the program's
// own loader and draws them with the real renderer and plot window, offscreen,
// into a file as the plot window's File, Export writes it: a PNG, SVG or PDF
// chosen by the extension of --out. A batch preview for users and the real
// drawing path for tests and timing.
//
//   quillon-render [--width TWIPS --height TWIPS] [--view MIN MAX]
//                  [--offset SLOT VALUE]... [--repeat N] --out FILE.{png,svg,pdf} FILE...

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "session/accept_file.h"
#include "session/export_file.h"
#include "qt/plot_export.h"
#include "qt/plot_window.h"
#include "qt/plot_window_host.h"
#include "session/shared_state.h"
#include "session/window_services.h"

namespace quillon {
namespace {

constexpr const char* kUsage =
    "usage: quillon-render [--width TWIPS --height TWIPS] [--view MIN MAX]\n"
    "                      [--offset SLOT VALUE]... [--repeat N] --out FILE.{png,svg,pdf} FILE...\n"
    "Draws the FITS spectra FILE... (slots 1, 2, ...) as the plot window shows them, into a PNG image,\n"
    "an SVG drawing or a PDF page, chosen by the extension of the --out file.\n";

struct Options {
  int16_t width = 10000;
  int16_t height = 5000;
  std::optional<std::pair<double, double>> view;
  std::vector<std::pair<int16_t, int16_t>> offsets;
  int repeat = 0;
  std::filesystem::path out;
  ExportFormat format = ExportFormat::kPng;
  std::vector<std::filesystem::path> files;
};

// Services of a window-less run: message boxes go to stderr, the plot to the host.
class ToolServices : public WindowServices {
 public:
  explicit ToolServices(SharedState& state) : host(state, *this) {}
  void ShowMessage(const std::string& text) override {
    std::cerr << "quillon-render: " << current_file << ": " << text << "\n";
  }
  void ShowLoadedRow(int16_t) override {}
  void SetOffsetText(int16_t, const std::string&) override {}
  void RenderPlot() override { host.RenderPlot(); }
  void ClearPlotWindow() override { host.ClearPlotWindow(); }
  void HidePlotWindow() override { host.HidePlotWindow(); }
  void OpenFileChooser() override {}
  void ShowHeaderCards(int16_t) override {}
  void ShowHelpWindow() override {}
  void ShowAboutWindow() override {}

  std::string current_file;
  PlotWindowHost host;
};

bool ParseDouble(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool ParseInt(const std::string& text, long lo, long hi, long& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= lo && value <= hi;
}

// Returns an error text, or "" when the arguments are sound.
std::string ParseArguments(const std::vector<std::string>& args, Options& o) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto need = [&](std::size_t n) { return i + n < args.size(); };
    long n = 0;
    if (a == "--width" || a == "--height") {
      if (!need(1) || !ParseInt(args[i + 1], 1, 32767, n)) return a + " needs a size in twips, 1..32767";
      (a == "--width" ? o.width : o.height) = static_cast<int16_t>(n);
      ++i;
    } else if (a == "--view") {
      double lo = 0, hi = 0;
      if (!need(2) || !ParseDouble(args[i + 1], lo) || !ParseDouble(args[i + 2], hi) || !(lo < hi))
        return "--view needs two wavelengths MIN < MAX in Angstroms";
      o.view = {lo, hi};
      i += 2;
    } else if (a == "--offset") {
      long slot = 0;
      if (!need(2) || !ParseInt(args[i + 1], 1, kSlotCount, slot) || !ParseInt(args[i + 2], -32768, 32767, n))
        return "--offset needs a slot 1..16 and a whole offset -32768..32767";
      o.offsets.emplace_back(static_cast<int16_t>(slot), static_cast<int16_t>(n));
      i += 2;
    } else if (a == "--repeat") {
      if (!need(1) || !ParseInt(args[i + 1], 1, 100000, n)) return "--repeat needs a count 1..100000";
      o.repeat = static_cast<int>(n);
      ++i;
    } else if (a == "--out") {
      if (!need(1)) return "--out needs a file name";
      o.out = args[++i];
    } else if (a == "--help" || a == "-h") {
      return "help";
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return "unknown option " + a;
    } else {
      o.files.emplace_back(a);
    }
  }
  if (o.out.empty()) return "--out FILE is required (FILE.png, FILE.svg or FILE.pdf)";
  const std::optional<ExportFormat> format = ExportFormatForPath(o.out.string());
  if (!format) return "cannot write " + o.out.string() + ": the --out file must end in .png, .svg or .pdf";
  o.format = *format;
  if (o.files.empty()) return "no FITS file given";
  if (o.files.size() > static_cast<std::size_t>(kSlotCount)) return "at most 16 files (one per slot)";
  return "";
}

// The offscreen platform notes on every shown window that it cannot pass
// size hints on; that says nothing about the drawing, so it is left out.
QtMessageHandler g_qt_handler = nullptr;

void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QStringLiteral("propagateSizeHints"))) return;
  if (g_qt_handler != nullptr) {
    g_qt_handler(type, context, message);
  } else {
    std::cerr << message.toStdString() << "\n";
  }
}

int Run(int argc, char** argv) {
  Options options;
  const std::string error = ParseArguments(std::vector<std::string>(argv + 1, argv + argc), options);
  if (error == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (!error.empty()) {
    std::cerr << "quillon-render: " << error << "\n" << kUsage;
    return 2;
  }
  // Loading makes each file's folder the current directory, as the chooser does.
  std::error_code ec;
  options.out = std::filesystem::absolute(options.out, ec);
  for (auto& file : options.files) file = std::filesystem::absolute(file, ec);

  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  g_qt_handler = qInstallMessageHandler(QuietHandler);
  QApplication app(argc, argv);

  SharedState state;
  state.PlotWidth = options.width;
  state.PlotHeight = options.height;
  ToolServices services(state);
  int failures = 0;
  for (std::size_t i = 0; i < options.files.size(); ++i) {
    const auto slot = static_cast<int16_t>(i + 1);
    services.current_file = options.files[i].string();
    state.CurrentSlot = slot;
    AcceptFitsFile(state, options.files[i].parent_path().string(), options.files[i].filename().string(), services);
    if (!IsSet(state.SlotLoaded[slot])) {
      std::cerr << "quillon-render: " << services.current_file << ": not loaded\n";
      ++failures;
    }
  }
  if (state.SpectraLoaded != kTrue) {
    std::cerr << "quillon-render: no spectrum loaded, nothing to draw\n";
    return 1;
  }
  for (const auto& [slot, offset] : options.offsets) state.SlotOffset[slot] = offset;
  if (options.view) {
    state.PlotLambdaMin = options.view->first;
    state.PlotLambdaMax = options.view->second;
  }

  services.RenderPlot();
  PlotWindow* window = services.host.Window();
  if (window == nullptr) {
    std::cerr << "quillon-render: the plot window could not be created\n";
    return 1;
  }
  QCoreApplication::processEvents();

  if (options.repeat > 0) {
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(options.repeat));
    for (int r = 0; r < options.repeat; ++r) {
      QElapsedTimer timer;
      timer.start();
      services.RenderPlot();
      window->RasterizeNow();
      ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::nth_element(ms.begin(), ms.begin() + static_cast<std::ptrdiff_t>(ms.size() / 2), ms.end());
    std::printf("median full redraw: %.3f ms over %d runs (%zu segments)\n", ms[ms.size() / 2], options.repeat,
                window->Drawing().Lines().size());
  }

  const std::string failure = ExportPlotPicture(window->Picture(), options.format, options.out.string());
  if (!failure.empty()) {
    std::cerr << "quillon-render: cannot write " << options.out.string() << ": " << failure << "\n";
    return 1;
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) { return quillon::Run(argc, argv); }
