// Quillon: a viewer for one-dimensional wavelength-calibrated FITS spectra.
//
//   quillon [FILE...]
//
// With no arguments the program starts with an empty table. Files named on
// the command line (as a file manager's "Open with" passes them) are loaded
// into rows 1, 2, ... after start-up, each as if chosen in the file chooser
// for that row.

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/quillon_app.h"

#ifndef QUILLON_VERSION
#error "QUILLON_VERSION must come from the build"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("quillon %s\n", QUILLON_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf("Usage: quillon [FILE...]\n"
                  "Shows one-dimensional wavelength-calibrated FITS spectra; FILEs are loaded into rows 1, 2, ...\n");
      return 0;
    }
  }
  QApplication application(argc, argv);  // takes Qt's own options (-platform, ...) out of argv
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  QApplication::setQuitOnLastWindowClosed(false);  // the main window's unload ends the program
  // File names as the system's bytes, from what QApplication left in argv
  // (it takes its own options out): arguments() would decode them as UTF-8
  // and lose any name that is not.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") != 0) files.push_back(argv[i]);
  }

  quillon::QuillonApp app;
  app.Start(files);
  return QApplication::exec();
}
