#include "session/help_layout.h"

#include <algorithm>

#include "base/int_convert.h"

namespace quillon {

namespace {

// Every piece after the first of a paragraph begins with two blanks; the
// second piece of paragraph 2 ends with one.
constexpr const char* kParagraph1[] = {
    ("The purpose of this program is to display up to ten (10) calibrated spectral images to be displayed on a "
     "single plot."),
    ("  You will be able to offset vertically the plots from one another as well as read off the wavelength under "
     "the cursor."),
    ("  You will also be able to shift the plots + or - along the wavelength axis in response to sources that may "
     "be moving away or towards us (resp.)."),
    "  Further analysis tools are planned.",
};
constexpr const char* kParagraph2[] = {
    ("First of all, the data files must be in the standard fits type and be one-dimensional (1-D) with the "
     "wavelenth scale calibrated and rectified."),
    "  These would be the output of IRAF-calibrated files, or Mondrel (available from the author's web page). ",
};
constexpr const char* kParagraph3[] = {
    ("Also, the keywords for the wavelength of pixel zero and the scale (Angstroms per pixel) must, at the present "
     "time, be CRVAL1 and CD1_1, respectively."),
    "  Therefore, if necessary, use a fits editor to change the appropriate keywords.",
    "  The facility to change the keywords will be added in a later version.",
};

template <std::size_t N>
std::string Join(const char* const (&pieces)[N]) {
  std::string text;
  for (const char* piece : pieces) text += piece;
  return text;
}

constexpr double kLabelMargin = 500;    // labels are W - 500 wide
constexpr double kFirstTop = 400;       // top of the first paragraph
constexpr double kHeightStart = 1000;   // h before the paragraphs
constexpr double kHeightExtra = 400;    // the window is h + 400 high
constexpr double kParagraphGap = 300;   // added after each paragraph
constexpr double kTwipsPerCharacter = 20000;  // characters x 20000 / width estimates a text height

}  // namespace

std::string HelpTitle() { return "Help - Quillon"; }

std::array<std::string, kHelpParagraphs> BuildHelpParagraphs() {
  return {Join(kParagraph1), Join(kParagraph2), Join(kParagraph3)};
}

HelpLayout ComputeHelpLayout(double width, const std::array<int16_t, kHelpParagraphs>& lengths) {
  HelpLayout layout;
  // A window too narrow for its labels still divides by a positive width.
  layout.label_width = std::max(1.0, width - kLabelMargin);
  const double height_width = std::max(1.0, width);

  int32_t top = static_cast<int32_t>(kFirstTop);
  for (int k = 0; k < kHelpParagraphs; ++k) {
    layout.tops[static_cast<std::size_t>(k)] = top;
    top = RoundToInt32(top + lengths[static_cast<std::size_t>(k)] * kTwipsPerCharacter / layout.label_width +
                       kParagraphGap);
  }

  // The sum divides by the window's width, the tops by the labels' width;
  // each step is rounded (and clamped) to 16 bits.
  int16_t h = static_cast<int16_t>(kHeightStart);
  for (int k = 0; k < kHelpParagraphs; ++k) {
    h = RoundToInt16(h + lengths[static_cast<std::size_t>(k)] * kTwipsPerCharacter / height_width + kParagraphGap);
  }
  layout.window_height = ClampToInt16(int64_t{h} + static_cast<int64_t>(kHeightExtra));
  return layout;
}

HelpWindowMemory& ProgramHelpMemory() {
  static HelpWindowMemory memory;
  return memory;
}

HelpWindowLogic::HelpWindowLogic(SharedState& state, HelpWindowMemory& memory, HelpView& view)
    : state_(state), memory_(memory), view_(view) {}

void HelpWindowLogic::Load() {
  left_ = state_.HelpLeft;
  top_ = state_.HelpTop;
  view_.ApplyPosition(left_, top_);
  width_ = state_.HelpWidth;
  height_ = state_.HelpHeight;
  view_.ApplySize(width_, height_);
  LayOut();  // raised by the new size: lays out at once on every load after the first

  const std::array<std::string, kHelpParagraphs> paragraphs = BuildHelpParagraphs();
  memory_.paragraph_count = kHelpParagraphs;
  for (int k = 1; k <= kHelpParagraphs; ++k) {
    const std::string& text = paragraphs[static_cast<std::size_t>(k - 1)];
    memory_.text[static_cast<std::size_t>(k)] = text;
    memory_.text_length[static_cast<std::size_t>(k)] = ClampToInt16(static_cast<int64_t>(text.size()));
  }
  view_.ApplyTexts(HelpTitle(), memory_.text);

  memory_.laid_out = true;
  LayOut();
}

void HelpWindowLogic::LayOut() {
  if (!memory_.laid_out) return;
  std::array<int16_t, kHelpParagraphs> lengths{};
  for (int k = 1; k <= kHelpParagraphs; ++k) {
    lengths[static_cast<std::size_t>(k - 1)] = memory_.text_length[static_cast<std::size_t>(k)];
  }
  layout_ = ComputeHelpLayout(width_, lengths);
  view_.ApplyLayout(layout_);
  // Raises a second pass, which computes the same height and so ends.
  SetSize(width_, layout_.window_height);
}

void HelpWindowLogic::Unload(double left, double top) {
  state_.HelpLeft = RoundToInt16(left);
  state_.HelpTop = RoundToInt16(top);
  state_.HelpWidth = RoundToInt16(width_);
  state_.HelpHeight = RoundToInt16(height_);
}

void HelpWindowLogic::ResizedByUser(double width, double height, bool minimised) {
  if (minimised) return;
  width_ = width;
  height_ = height;
  LayOut();
}

void HelpWindowLogic::SetSize(double width, double height) {
  if (width == width_ && height == height_) return;  // the same size raises nothing
  width_ = width;
  height_ = height;
  view_.ApplySize(width_, height_);
  LayOut();
}

}  // namespace quillon
