#pragma once
// The header viewer, "Display Fits Hdr - 2D Spectrum": the header cards of a
// loaded spectrum printed one per line onto the window's surface, with a
// vertical scroll bar at the right edge. The rules live in HeaderViewerLogic;
// this window draws the printed lines and passes the window system's events on.

#include <QFont>
#include <QSize>
#include <QWidget>
#include <cstdint>

#include "session/shared_state.h"
#include "session/window_services.h"
#include "session/header_viewer_logic.h"
#include "qt/held_position.h"

class QAction;
class QScrollBar;

namespace quillon {

class HeaderViewer : public QWidget, private HeaderViewerView {
  Q_OBJECT

 public:
  /// Creates the window (hidden) and runs the logic's Load. `state` must outlive
  /// it. The window deletes itself when closed, after Unload has stored its geometry.
  HeaderViewer(SharedState& state, WindowServices& services, QWidget* parent = nullptr);

  /// The Hdr button's own printing: shows the viewer modeless (its first
  /// display runs its resize handler), clears it and prints cards
  /// 1..line_count of the slot's header from the top. When the viewer is already shown
  /// it is only brought forward: no load and no resize.
  void ShowCardsFromTop(int16_t slot);

  /// The rules behind the window, for inspection.
  const HeaderViewerLogic& Logic() const { return logic_; }
  /// The scroll bar at the right edge.
  QScrollBar* ScrollBar() const { return scroll_bar_; }
  /// Pixel height of one printed card line (194.5 twips at this window's DPI).
  double LinePixels() const;
  /// The fixed-pitch font the cards are printed in.
  const QFont& CardFont() const { return card_font_; }

  /// Copies the whole header of the slot whose cards the window shows, one
  /// card a line, to the clipboard (Ctrl+C and the context menu's "Copy
  /// Header"). Before anything is printed nothing is copied.
  void CopyHeader();
  /// The "Copy Header" entry of the context menu.
  QAction* CopyHeaderAction() const { return copy_header_action_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void ApplyPosition(double left, double top) override;
  void ApplySize(double width, double height) override;
  void ApplyScrollBar(const HeaderScrollBar& bar) override;
  void SurfaceChanged() override;
  void ChooseCardFont();
  QSize FrameExtra() const;

  HeaderViewerLogic logic_;
  QScrollBar* scroll_bar_ = nullptr;
  QAction* copy_header_action_ = nullptr;
  HeldPosition position_;
  QSize handled_client_;  ///< client size whose Resized has run (or that the logic set itself)
  QSize applied_extra_;   ///< frame (outer minus client) allowed for when the logic's size was last set
  bool displayed_ = false;
  QFont card_font_;
};

}  // namespace quillon
