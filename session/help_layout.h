#pragma once
// The help window's text and layout without Qt. The paragraphs are built
// from fixed pieces; their lengths in characters, not measured text, set the
// tops of the paragraph labels and the window's height for a given width.
// All lengths are twips; Width and Height are the window's outer size.

#include <array>
#include <cstdint>
#include <string>

#include "session/shared_state.h"

namespace quillon {

inline constexpr int kHelpParagraphs = 3;

/// "Help - Quillon".
std::string HelpTitle();
/// The three paragraphs, each the concatenation of its pieces.
std::array<std::string, kHelpParagraphs> BuildHelpParagraphs();

/// Where the layout puts the labels and how high it makes the window.
struct HelpLayout {
  double label_width = 1;                        ///< W - 500, at least 1 twip
  std::array<int32_t, kHelpParagraphs> tops{};  ///< tops of the paragraph labels
  int16_t window_height = 0;                     ///< h + 400, at most 32767
};

/// The layout for outer width `width` and the paragraph lengths `lengths`
/// (characters). Widths too narrow for the labels give them 1 twip; heights
/// past 16 bits are clamped to 32767; nothing overflows.
HelpLayout ComputeHelpLayout(double width, const std::array<int16_t, kHelpParagraphs>& lengths);

/// The help window's own state, kept for the whole run (the window itself is
/// destroyed and created anew by each close and open).
struct HelpWindowMemory {
  std::array<std::string, 17> text{};     ///< entries 1..3 used
  std::array<int16_t, 17> text_length{};  ///< characters of each used paragraph
  int16_t paragraph_count = kHelpParagraphs;
  bool laid_out = false;                  ///< set from the first load on; never cleared
};

/// The memory of the program's help window.
HelpWindowMemory& ProgramHelpMemory();

/// What the logic asks of the help window. HelpWindow implements it.
class HelpView {
 public:
  virtual ~HelpView() = default;
  /// Moves the window to an outer position in twips.
  virtual void ApplyPosition(double left, double top) = 0;
  /// Resizes the window to an outer size in twips. The logic runs its layout
  /// for this size itself; the window must not run it again for this size.
  virtual void ApplySize(double width, double height) = 0;
  /// Sets the title and the paragraph captions (entries 1..3 of `paragraphs`).
  virtual void ApplyTexts(const std::string& title, const std::array<std::string, 17>& paragraphs) = 0;
  /// Gives the title and the paragraph labels the width, and the paragraph
  /// labels the tops, of `layout`.
  virtual void ApplyLayout(const HelpLayout& layout) = 0;
};

class HelpWindowLogic {
 public:
  /// All three must outlive the logic.
  HelpWindowLogic(SharedState& state, HelpWindowMemory& memory, HelpView& view);

  /// Applies HelpLeft/Top/Width/Height, builds the paragraphs into the labels
  /// and lays the window out.
  void Load();
  /// Lays the window out for its present width and sets the height computed
  /// from it (which raises one nested pass that ends). Does nothing before
  /// the first load has filled the labels.
  void LayOut();
  /// Stores Left, Top, Width and Height, rounded and clamped to 16 bits.
  /// `left` and `top` are the window's outer position in twips.
  void Unload(double left, double top);
  /// The window system changed the outer size (twips); a minimised window is ignored.
  void ResizedByUser(double width, double height, bool minimised);

  double Left() const { return left_; }
  double Top() const { return top_; }
  double Width() const { return width_; }
  double Height() const { return height_; }
  const HelpLayout& Layout() const { return layout_; }

 private:
  void SetSize(double width, double height);

  SharedState& state_;
  HelpWindowMemory& memory_;
  HelpView& view_;
  double left_ = 0;
  double top_ = 0;
  double width_ = 0;
  double height_ = 0;
  HelpLayout layout_;
};

}  // namespace quillon
