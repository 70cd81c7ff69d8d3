#pragma once
// frmPlot_Spectra, the plot window: the surface RenderPlot draws on, three
// zoom buttons, the scroll bar that pans the view, the cursor read-outs and
// the File menu with the print commands. The arithmetic lives in
// plot/plot_view.h; this class wires it to Qt and keeps the handlers' nesting
// (setting the scroll bar runs HScroll1_Change at once).

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

class frmPlot_Spectra : public QMainWindow {
  Q_OBJECT

 public:
  /// A top-level window without owner; runs Form_Load before returning. The
  /// state and services must outlive it. Closing it unloads (deletes) it.
  frmPlot_Spectra(SharedState& state, WindowServices& services, QWidget* parent = nullptr);
  ~frmPlot_Spectra() override;

  // ---- Handlers ----
  void Form_Load();
  void Form_Resize();
  void Form_Unload();
  /// Mouse motion over the client area: `button` and `shift` as bit sets
  /// (1 left, 2 right, 4 middle; 1 Shift, 2 Ctrl, 4 Alt), position in twips.
  void Form_MouseMove(int button, int shift, float x, float y);
  void Command1_Click();  ///< In
  void Command2_Click();  ///< Out
  void Command3_Click();  ///< Full Range
  void HScroll1_Scroll();
  void HScroll1_Change();
  void mExit_Click();
  void mPrint_Click();
  void mPrintsetup_Click();
  void mExport_Click();

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

  // ---- Controls (named as in the form) ----
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label9 = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* Label11 = nullptr;
  QPushButton* Command1 = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* Command3 = nullptr;
  QScrollBar* HScroll1 = nullptr;
  QMenu* mFile = nullptr;
  QAction* mPrintsetup = nullptr;
  QAction* mPrint = nullptr;
  QAction* mExport = nullptr;
  QAction* mydash = nullptr;
  QAction* mExit = nullptr;

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
  // The client size whose Form_Resize has run: a later resizeEvent for the
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
