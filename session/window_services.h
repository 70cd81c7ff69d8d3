#pragma once
// The small interfaces through which the Qt-free core and the windows reach
// each other. The application (app/) implements them over the real windows;
// tests implement them with recorders. None of them includes Qt.

#include <cstdint>
#include <string>

namespace quillon {

/// Shows a modal message box captioned "Quillon" with only an OK button and
/// returns when the user has closed it. Tests record the texts in order.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(const std::string& text) = 0;
};

/// The main window's row display.
class RowDisplay {
 public:
  virtual ~RowDisplay() = default;
  /// Shows the loaded-row controls of `slot` with its file name, object,
  /// level and offset, and "0" in the velocity cell.
  virtual void ShowLoadedRow(int16_t slot) = 0;
  /// Sets the row's offset cell to `text`.
  virtual void SetOffsetText(int16_t slot, const std::string& text) = 0;
};

/// Redraws the plot from the shared state (the renderer over the plot window,
/// which is created and shown first when needed).
class PlotRedraw {
 public:
  virtual ~PlotRedraw() = default;
  virtual void RenderPlot() = 0;
};

/// Everything one window may ask of the others. Windows are created the first
/// time any of these touches them, as the windows of this program always are.
class WindowServices : public MessageSink, public RowDisplay, public PlotRedraw {
 public:
  /// Clears the plot window's drawing surface (the window exists).
  virtual void ClearPlotWindow() = 0;
  /// Hides the plot window; it stays loaded and PlotWindowOpen is unchanged.
  virtual void HidePlotWindow() = 0;
  /// The Load button's showing of the file chooser: file-type list to its
  /// second entry, show modeless, then back to its first entry.
  virtual void OpenFileChooser() = 0;
  /// The Hdr button's showing of the header viewer: show it (loading it
  /// first if needed), clear it and print the cards of `slot` from the top.
  virtual void ShowHeaderCards(int16_t slot) = 0;
  virtual void ShowHelpWindow() = 0;
  virtual void ShowAboutWindow() = 0;
};

}  // namespace quillon
