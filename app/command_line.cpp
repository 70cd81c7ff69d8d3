#include "app/command_line.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace quillon {

namespace {

// Options the toolkit takes itself (QGuiApplication, QApplication and the X11
// platform), named without their leading dash; the toolkit accepts each with
// one dash or two.
constexpr std::array<std::string_view, 16> kToolkitOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry",
    "qwindowicon", "icon", "qwindowtitle", "title", "session", "display", "name", "style", "stylesheet", "visual"};
constexpr std::array<std::string_view, 6> kToolkitFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync",
                                                           "qmljsdebugger"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      line.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      line.action = CommandLine::Action::Help;
      return line;
    }
    if (arg == "--version") {
      line.action = CommandLine::Action::Version;
      return line;
    }
    std::string_view name(arg);
    name.remove_prefix(name.compare(0, 2, "--") == 0 ? 2 : 1);
    const std::size_t equals = name.find('=');
    const std::string_view bare = name.substr(0, equals);
    if (Contains(kToolkitOptionsWithValue, bare)) {
      line.toolkit_options.push_back(arg);
      if (equals != std::string_view::npos) continue;
      if (i + 1 >= args.size()) {
        line.action = CommandLine::Action::Error;
        line.error = "option '" + arg + "' needs a value";
        return line;
      }
      line.toolkit_options.push_back(args[++i]);
      continue;
    }
    if (Contains(kToolkitFlags, bare) && (equals == std::string_view::npos || bare == "qmljsdebugger")) {
      line.toolkit_options.push_back(arg);
      continue;
    }
    line.action = CommandLine::Action::Error;
    line.error = "unknown option '" + arg + "'";
    return line;
  }
  return line;
}

std::string UsageText() {
  return "Usage: quillon [OPTION...] [--] [FILE...]\n"
         "Shows one-dimensional wavelength-calibrated FITS spectra; FILEs are loaded into rows 1, 2, ...\n"
         "\n"
         "  --help      print this text and exit\n"
         "  --version   print the version and exit\n"
         "  --          end of the options: every later argument is a FILE\n"
         "\n"
         "Qt's own options, such as -style NAME or -platform NAME, are passed to Qt.\n";
}

}  // namespace quillon
