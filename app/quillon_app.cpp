#include "app/quillon_app.h"

#include <QApplication>
#include <QMessageBox>

#include "session/slot_loading.h"
#include "qt/file_chooser.h"
#include "qt/plot_window.h"
#include "qt/plot_window_host.h"
#include "qt/main_window.h"
#include "qt/about_window.h"
#include "qt/header_viewer.h"
#include "qt/help_window.h"

namespace quillon {

namespace {

// Brings a window that is shown already to the front, as showing it again does.
void ShowModeless(QWidget& window) {
  if (window.isMinimized()) {
    window.showNormal();
  } else {
    window.show();
  }
  window.raise();
  window.activateWindow();
}

}  // namespace

QuillonApp::QuillonApp(Options options)
    : options_(std::move(options)),
      plot_(std::make_unique<PlotWindowHost>(state_, *this)),
      chooser_([this] { return new FileChooser(state_, *this); }),
      header_viewer_([this] { return new HeaderViewer(state_, *this); }),
      help_([this] { return new HelpWindow(state_); }),
      about_([this] { return new AboutWindow(state_); }) {
  main_ = std::make_unique<MainWindow>(state_, *this, [this] { EndProgram(); }, options_.settings_file);
  main_->SetDropHandler([this](int16_t row, const std::vector<std::string>& paths) {
    LoadDroppedFiles(state_, row, paths, *this);
  });
}

QuillonApp::~QuillonApp() {
  // The main window goes first: nothing may reach the other windows through it afterwards.
  main_.reset();
}

void QuillonApp::Start(const std::vector<std::string>& files) {
  main_->ShowAtStart();
  if (!files.empty()) LoadCommandLineFiles(state_, files, *this);
}

FileChooser& QuillonApp::Chooser() { return chooser_.Get(); }
HeaderViewer& QuillonApp::Viewer() { return header_viewer_.Get(); }
FileChooser* QuillonApp::ChooserIfLoaded() const { return chooser_.IfLoaded(); }
HeaderViewer* QuillonApp::HeaderViewerIfLoaded() const { return header_viewer_.IfLoaded(); }
HelpWindow* QuillonApp::HelpIfLoaded() const { return help_.IfLoaded(); }
AboutWindow* QuillonApp::AboutIfLoaded() const { return about_.IfLoaded(); }
PlotWindow* QuillonApp::PlotWindowIfLoaded() { return plot_->Window(); }

void QuillonApp::EndProgram() {
  if (options_.end_program) {
    options_.end_program();
    return;
  }
  // exit() leaves the event loop without closing the other windows, so none
  // of them stores its geometry now; they are destroyed with the app.
  QCoreApplication::exit(0);
}

void QuillonApp::ShowMessage(const std::string& text) {
  if (options_.messages != nullptr) {
    options_.messages->ShowMessage(text);
    return;
  }
  QWidget* owner = QApplication::activeWindow();
  if (owner == nullptr && main_ != nullptr) owner = main_.get();
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quillon"), QString::fromStdString(text), QMessageBox::Ok,
                  owner);
  box.exec();
}

void QuillonApp::ShowLoadedRow(int16_t slot) { main_->Logic().ShowLoadedRow(slot); }

void QuillonApp::SetOffsetText(int16_t slot, const std::string& text) { main_->Logic().SetOffsetText(slot, text); }

void QuillonApp::RenderPlot() { plot_->RenderPlot(); }

void QuillonApp::ClearPlotWindow() { plot_->ClearPlotWindow(); }

void QuillonApp::HidePlotWindow() { plot_->HidePlotWindow(); }

void QuillonApp::OpenFileChooser() {
  FileChooser& chooser = chooser_.Get();
  // Two selections make the chooser read its folder again: every Load shows
  // "*.fts" over a fresh file list.
  chooser.SetFileTypeIndex(1);
  ShowModeless(chooser);
  chooser.SetFileTypeIndex(0);
  chooser.SelectFileName();  // typing replaces the proposed name
}

void QuillonApp::ShowHeaderCards(int16_t slot) { header_viewer_.Get().ShowCardsFromTop(slot); }

void QuillonApp::ShowHelpWindow() { ShowModeless(help_.Get()); }

void QuillonApp::ShowAboutWindow() { ShowModeless(about_.Get()); }

}  // namespace quillon
