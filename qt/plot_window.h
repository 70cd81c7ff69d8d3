#pragma once
// The plot window: the surface RenderPlot draws on, three zoom buttons, the
// scroll bar that pans the view, the cursor read-outs and the File menu with
// the print commands. The arithmetic lives in session/plot_view.h; this class
// wires it to Qt and keeps the handlers' nesting (setting the pan bar runs
// ScrollChanged at once).

#include <QMainWindow>
#include <QSize>
#include <array>
#include <memory>

#include "render/display_list.h"
#include "session/export_file.h"
#include "qt/plot_export.h"
#include "session/plot_view.h"
#include "render/renderer.h"
#include "session/shared_state.h"
#include "session/window_services.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QScrollBar;

namespace quillon {

class PlotCanvas;

class PlotWindow : public QMainWindow {
  Q_OBJECT

 public:
  /// A top-level window without owner; runs Load before returning. The
  /// state and services must outlive it. Closing it unloads (deletes) it.
  PlotWindow(SharedState& state, WindowServices& services, QWidget* parent = nullptr);
  ~PlotWindow() override;

  // ---- Handlers ----
  /// The window's creation: the pan bar from the view, the stored geometry,
  /// the bottom row's places and the main window's offset cells.
  void Load();
  /// A new size: recorded, then the plot is redrawn and the bottom row
  /// follows the height (nothing while RenderBusy is set or nothing is loaded).
  void Resized();
  /// The close box: stores the geometry and clears PlotWindowOpen.
  void Unload();
  /// Mouse motion over the client area: `button` and `shift` as bit sets
  /// (1 left, 2 right, 4 middle; 1 Shift, 2 Ctrl, 4 Alt), position in twips.
  /// Inside the frame the read-outs show the wavelength and intensity there.
  void TrackCursor(int button, int shift, float x, float y);
  void ZoomIn();     ///< "In"
  void ZoomOut();    ///< "Out"
  void FullRange();  ///< "Full Range"
  /// The pan bar dragged: the view is re-centred on its value and redrawn.
  void Scroll();
  /// Any change of the pan bar's value; runs Scroll.
  void ScrollChanged();
  void Exit();        ///< File, "Exit": hides the window, which stays loaded
  void Print();       ///< File, "Print"
  void PrintSetup();  ///< File, "Print Setup ..."
  void Export();      ///< File, "Export ..."

  /// The save dialog and the list of installed printers that Print and
  /// Export use instead of the desktop's (tests answer them); nullptr gives
  /// back the desktop's. Not owned; must outlive their use.
  void SetFileDesktop(SaveDialog* dialog, InstalledPrinters* printers);

  /// The plot as Export writes it: the recorded drawing and the axis labels
  /// at their places, in the client area's logical pixels.
  PlotPicture Picture() const;

  /// The drawing surface RenderPlot draws on; it records the drawing for
  /// repainting and places the axis labels.
  DrawingSurface& Surface();
  /// The frame of the drawing being shown; the cursor read-out inverts it.
  void SetFrame(const PlotFrame& frame) { frame_ = frame; }
  const PlotFrame& Frame() const { return frame_; }
  /// The last drawing, as recorded.
  const DisplayList& Drawing() const { return drawing_; }
  /// The window's clear operation: erases the drawing (labels stay).
  void ClearDrawing();

  /// Draws the client area — the recorded drawing and the visible controls —
  /// into `target` (painter units) on any painter, at the painter's own
  /// resolution (lines one screen pixel wide, scaled with the target).
  void RenderClientArea(QPainter& painter, const QRectF& target);
  /// The client area as an image of its size in device pixels at `ratio`.
  QImage GrabClientArea(double ratio = 1.0);
  /// Rasterises the drawing now if it changed (the paint does this lazily).
  void RasterizeNow();

  /// Shows the window modeless (the renderer's showing). The first showing
  /// corrects the size for the frame the window system then reports.
  void ShowModeless();

  /// The client area widget: controls and labels are its children.
  QWidget* ClientArea() const;

  // ---- Controls ----
  // The axis labels, which the renderer places and fills.
  QLabel* first_wavelength_label_ = nullptr;
  QLabel* last_wavelength_label_ = nullptr;
  QLabel* wavelength_title_ = nullptr;  ///< "Wavelength /Angstroms"
  QLabel* top_intensity_label_ = nullptr;
  QLabel* intensity_step_label_ = nullptr;
  QLabel* bottom_intensity_label_ = nullptr;
  // The bottom row.
  QLabel* wavelength_caption_ = nullptr;  ///< "Wavelength"
  QLabel* wavelength_readout_ = nullptr;
  QLabel* intensity_caption_ = nullptr;   ///< "Intensity"
  QLabel* intensity_readout_ = nullptr;
  QLabel* zoom_caption_ = nullptr;        ///< "Zoom", under the "In" button
  QPushButton* zoom_in_button_ = nullptr;
  QPushButton* zoom_out_button_ = nullptr;
  QPushButton* full_range_button_ = nullptr;
  QScrollBar* pan_bar_ = nullptr;  ///< its value is the view's centre, whole Angstroms
  QMenu* file_menu_ = nullptr;
  QAction* print_setup_action_ = nullptr;
  QAction* print_action_ = nullptr;
  QAction* export_action_ = nullptr;
  QAction* separator_ = nullptr;  ///< the line above "Exit"
  QAction* exit_action_ = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  class WindowSurface;
  class ScrollBarAdapter;

  void BuildControls();
  void BuildMenu();
  void BuildShortcuts();
  void PlaceBottomRow();
  void ApplyGeometry();
  QLabel* AxisLabel(PlotLabel label) const;
  QWidget* BottomWidget(BottomControl control) const;
  double RecordedLeft() const;
  double RecordedTop() const;
  double RecordedWidth() const;
  double RecordedHeight() const;

  SharedState& state_;
  WindowServices& services_;
  DisplayList drawing_;
  PlotFrame frame_;
  std::unique_ptr<WindowSurface> surface_;
  PlotCanvas* canvas_ = nullptr;
  // The client size whose Resized has run: a later resizeEvent for the
  // same size (the window system's late notice) is not handled twice.
  QSize handled_size_;
  // Geometry applied at load, in twips and in pixels, so a window that was
  // not moved or resized gives back exactly what it was given instead of
  // creeping by a rounding or a frame width on every open and close.
  std::array<double, 4> applied_twips_{};
  QPoint applied_pos_;
  QSize applied_size_;
  bool frame_checked_ = false;
  SaveDialog* save_dialog_ = nullptr;
  InstalledPrinters* installed_printers_ = nullptr;
};

}  // namespace quillon
