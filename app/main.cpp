// Quillon: a viewer for one-dimensional wavelength-calibrated FITS spectra.
//
//   quillon [--help | --version] [QT-OPTION...] [--] [FILE...]
//
// With no arguments the program starts with an empty table. Files named on
// the command line (as a file manager's "Open with" passes them) are loaded
// into rows 1, 2, ... after start-up, each as if chosen in the file chooser
// for that row. An unknown option prints the usage on standard error and
// ends with status 2 (app/command_line.h).

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/quillon_app.h"

#ifndef QUILLON_VERSION
#error "QUILLON_VERSION must come from the build"
#endif

namespace {

int UsageError(const std::string& fault) {
  std::fprintf(stderr, "quillon: %s\n%s", fault.c_str(), quillon::UsageText().c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const quillon::CommandLine line = quillon::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
    case quillon::CommandLine::Action::Help:
      std::fputs(quillon::UsageText().c_str(), stdout);
      return 0;
    case quillon::CommandLine::Action::Version:
      std::printf("quillon %s\n", QUILLON_VERSION);
      return 0;
    case quillon::CommandLine::Action::Error:
      return UsageError(line.error);
    case quillon::CommandLine::Action::Run:
      break;
  }

  // Qt sees only its own options; the file names never reach its parser.
  std::vector<std::string> qt_arguments{argv[0]};
  qt_arguments.insert(qt_arguments.end(), line.toolkit_options.begin(), line.toolkit_options.end());
  std::vector<char*> qt_argv;
  for (std::string& argument : qt_arguments) qt_argv.push_back(argument.data());
  qt_argv.push_back(nullptr);
  int qt_argc = static_cast<int>(qt_arguments.size());
  QApplication application(qt_argc, qt_argv.data());  // takes its own options out of qt_argv
  // An option this platform's Qt did not take (-display away from X11) is not ours either.
  if (qt_argc > 1) return UsageError("unknown option '" + std::string(qt_argv[1]) + "'");
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  QApplication::setQuitOnLastWindowClosed(false);  // the main window's unload ends the program

  quillon::QuillonApp app;
  app.Start(line.files);
  return QApplication::exec();
}
