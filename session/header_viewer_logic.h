#pragma once
// The header viewer's rules without Qt: which header cards the viewer
// prints, where its scroll bar stands and how the window follows a header
// shorter than itself. All lengths are twips; Width and Height are the
// window's outer size.
//
// Handlers nest exactly as they do on screen: setting the window's height runs
// Resized at once, inside the handler that set it, and a change of the
// scroll bar's value (by code or by the user) runs Scrolled at once.
// The figures the viewer shows depend on that order.

#include <cstdint>
#include <string>
#include <vector>

#include "session/shared_state.h"

namespace quillon {

/// The viewer's vertical scroll bar as the window shows it. The range follows
/// the scroll bar's own rules: the minimum never exceeds the maximum (setting
/// one past the other moves the other along) and the value stays within them.
struct HeaderScrollBar {
  int min = 0;
  int max = 32767;
  int value = 0;
  int small_change = 1;
  int large_change = 10;
  bool visible = true;
  double left = 2640;   ///< twips, from the window's left edge
  double top = 0;       ///< twips; stays as designed
  double width = 255;   ///< twips; stays as designed
  double height = 9500; ///< twips, never below 0
};

/// What the logic asks of the window. HeaderViewer implements it; tests record it.
class HeaderViewerView {
 public:
  virtual ~HeaderViewerView() = default;
  /// Moves the window to an outer position in twips.
  virtual void ApplyPosition(double left, double top) = 0;
  /// Resizes the window to an outer size in twips. The logic runs Resized
  /// for this size itself, so the window must not run it again when the
  /// window system reports the same size later.
  virtual void ApplySize(double width, double height) = 0;
  /// Mirrors the scroll bar; called after every change of range, value,
  /// visibility or place, before Scrolled runs for a changed value.
  virtual void ApplyScrollBar(const HeaderScrollBar& bar) = 0;
  /// The printed lines changed: repaint them.
  virtual void SurfaceChanged() = 0;
};

class HeaderViewerLogic {
 public:
  static constexpr double kLineTwips = 194.5;           ///< height of one printed card line
  static constexpr double kChromeTwips = 560;           ///< caption and borders: Height - 560 holds cards
  static constexpr double kScrollBarBottomGap = 500;    ///< the scroll bar is Height - 500 high
  static constexpr double kScrollBarRightOffset = 360;  ///< the scroll bar's left edge is Width - 360

  /// `state` and `view` must outlive the logic. Nothing happens until Load.
  HeaderViewerLogic(SharedState& state, HeaderViewerView& view);

  /// Applies HdrLeft/HdrTop/HdrWidth/HdrHeight (a top outside 16 bits is
  /// placed clamped, a non-finite one at 0) and sets up the scroll bar for
  /// the cards of CurrentSlot; prints nothing of its own.
  void Load();
  /// Records the size, places the scroll bar, shrinks the window to a header
  /// that it holds whole (a nested resize) and prints the cards around the
  /// scroll bar's value. Does nothing while loading.
  void Resized();
  /// Prints the cards around the scroll bar's value.
  void Scrolled();
  /// Stores the geometry: HdrLeft, HdrWidth and HdrHeight rounded (clamped to
  /// 16 bits), HdrTop as given. `left` and `top` are the window's outer
  /// position in twips.
  void Unload(double left, double top);

  /// The window system changed the window's outer size (twips): runs
  /// Resized. A minimised window's size is ignored, so that restoring it
  /// finds the geometry of the normal window.
  void ResizedByUser(double width, double height, bool minimised);
  /// The user moved the scroll bar to `value`; runs Scrolled when the
  /// value (kept within the range) differs from the present one.
  void ScrolledByUser(int value);
  /// The Hdr button's own printing: clears the surface and prints cards
  /// 1..line_count of the slot's header from the top. Slots outside 1..16 print nothing.
  void PrintCardsFromTop(int16_t slot);

  double Left() const { return left_; }
  double Top() const { return top_; }
  double Width() const { return width_; }
  double Height() const { return height_; }
  /// Card lines the window is taken to hold, as the last handler counted them.
  int16_t VisibleLines() const { return visible_lines_; }
  /// Set while Load runs; a resize does nothing then.
  bool Loading() const { return loading_; }
  /// The first and last card printed by the last redraw.
  int16_t FirstCard() const { return first_card_; }
  int16_t LastCard() const { return last_card_; }
  const HeaderScrollBar& ScrollBar() const { return scroll_bar_; }
  /// The lines on the surface, top first, as printed since the last clear.
  const std::vector<std::string>& PrintedLines() const { return lines_; }
  const SharedState& State() const { return state_; }
  /// The slot whose cards were printed last (0 before the first printing).
  int16_t PrintedSlot() const { return printed_slot_; }

 private:
  int16_t CurrentLineCount() const;
  void SetSize(double width, double height);
  void SetScrollMin(int value);
  void SetScrollMax(int value);
  void SetScrollValue(int value);
  void ClampScrollValue();
  void ClearSurface();
  void PrintCards(int16_t slot, int first, int last);
  void LimitToLastCard();

  SharedState& state_;
  HeaderViewerView& view_;
  double left_ = 0;
  double top_ = 0;
  double width_ = 0;
  double height_ = 0;
  int16_t visible_lines_ = 0;
  bool loading_ = false;
  int16_t first_card_ = 0;
  int16_t last_card_ = 0;
  HeaderScrollBar scroll_bar_;
  std::vector<std::string> lines_;
  int16_t printed_slot_ = 0;
};

/// The whole header of `slot` as text: cards 1..line_count of its header, one a
/// line, each ended by "\n". Empty for a slot outside 1..16 or without cards.
std::string HeaderText(const SharedState& state, int16_t slot);

/// Card lines a window of outer height `height` (twips) is taken to hold: the
/// whole part of (height - 560) / 194.5, never below 0.
int16_t HeaderLinesWhole(double height);
/// The same count rounded to the nearest (halves to even), never below 0; the
/// scroll handler counts this way.
int16_t HeaderLinesRounded(double height);

}  // namespace quillon
