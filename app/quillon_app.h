#pragma once
// QuillonApp: the program as one object. It owns the shared state and every
// window, creates each window the first time anything touches it, and is the
// WindowServices through which the windows and the core reach each other.
// main() makes one, starts it and runs the event loop; the window tests make
// one with a recording message sink and an end that does not quit.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "session/settings_file.h"
#include "session/shared_state.h"
#include "qt/window_holder.h"
#include "session/window_services.h"

namespace quillon {

class AboutWindow;
class HeaderViewer;
class HelpWindow;
class FileChooser;
class MainWindow;
class PlotWindow;
class PlotWindowHost;

class QuillonApp : public WindowServices {
 public:
  struct Options {
    /// Where message boxes go; null shows modal "Quillon" boxes.
    MessageSink* messages = nullptr;
    /// Ends the program at once after the main window has saved the
    /// settings; empty leaves the event loop (no window runs its own unload
    /// handler).
    std::function<void()> end_program;
    /// The settings file, read at start-up and written at exit.
    std::filesystem::path settings_file = kSettingsFileName;
  };

  /// Creates the main window, which runs the start-up.
  explicit QuillonApp(Options options);
  QuillonApp() : QuillonApp(Options{}) {}
  ~QuillonApp() override;
  QuillonApp(const QuillonApp&) = delete;
  QuillonApp& operator=(const QuillonApp&) = delete;

  /// Shows the main window, then loads `files` into rows 1, 2, ... as if each
  /// had been chosen in the chooser for its row and confirmed.
  void Start(const std::vector<std::string>& files = {});

  SharedState& State() { return state_; }
  MainWindow& Main() { return *main_; }
  /// The windows, created (loaded) first if they do not exist.
  FileChooser& Chooser();
  HeaderViewer& Viewer();
  /// The windows if they exist, else null; asking does not create them.
  FileChooser* ChooserIfLoaded() const;
  HeaderViewer* HeaderViewerIfLoaded() const;
  HelpWindow* HelpIfLoaded() const;
  AboutWindow* AboutIfLoaded() const;
  PlotWindow* PlotWindowIfLoaded();

  // ---- WindowServices ----
  void ShowMessage(const std::string& text) override;
  void ShowLoadedRow(int16_t slot) override;
  void SetOffsetText(int16_t slot, const std::string& text) override;
  void RenderPlot() override;
  void ClearPlotWindow() override;
  void HidePlotWindow() override;
  void OpenFileChooser() override;
  void ShowHeaderCards(int16_t slot) override;
  void ShowHelpWindow() override;
  void ShowAboutWindow() override;

 private:
  void EndProgram();

  Options options_;
  SharedState state_;
  // Windows are destroyed before the state they refer to, and without
  // running their unload handlers (the program has ended).
  std::unique_ptr<PlotWindowHost> plot_;
  WindowHolder<FileChooser> chooser_;
  WindowHolder<HeaderViewer> header_viewer_;
  WindowHolder<HelpWindow> help_;
  WindowHolder<AboutWindow> about_;
  std::unique_ptr<MainWindow> main_;
};

}  // namespace quillon
