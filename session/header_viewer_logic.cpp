#include "session/header_viewer_logic.h"

#include <algorithm>
#include <cmath>

#include "base/int_convert.h"

namespace quillon {

namespace {

// Sets a flag for the lifetime of the object, on every path out.
class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~ScopedFlag() { flag_ = false; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool& flag_;
};

int16_t AtLeastOne(int16_t value) { return std::max<int16_t>(value, 1); }

}  // namespace

int16_t HeaderLinesWhole(double height) {
  return std::max<int16_t>(0, FloorToInt16((height - HeaderViewerLogic::kChromeTwips) / HeaderViewerLogic::kLineTwips));
}

int16_t HeaderLinesRounded(double height) {
  return std::max<int16_t>(0, RoundToInt16((height - HeaderViewerLogic::kChromeTwips) / HeaderViewerLogic::kLineTwips));
}

HeaderViewerLogic::HeaderViewerLogic(SharedState& state, HeaderViewerView& view) : state_(state), view_(view) {}

int16_t HeaderViewerLogic::CurrentLineCount() const {
  return std::max<int16_t>(0, SlotHeader(state_, state_.CurrentSlot).line_count);
}

void HeaderViewerLogic::Load() {
  const ScopedFlag loading(loading_);
  left_ = state_.HdrLeft;
  // HdrTop holds any number; a window can only be placed within 16 bits.
  top_ = std::isfinite(state_.HdrTop) ? std::clamp(state_.HdrTop, -32768.0, 32767.0) : 0.0;
  view_.ApplyPosition(left_, top_);
  width_ = state_.HdrWidth;
  height_ = state_.HdrHeight;
  view_.ApplySize(width_, height_);
  Resized();  // raised by the new size; does nothing while loading
  visible_lines_ = HeaderLinesWhole(state_.HdrHeight);

  // Setting the minimum may move the value and so run Scrolled at once; the
  // maximum is then computed from the visible lines as that run left them.
  const int min = RoundToInt16(visible_lines_ / 2.0);
  SetScrollMin(min);
  SetScrollValue(min);
  const int max = RoundToInt16(CurrentLineCount() - visible_lines_ / 2.0);
  SetScrollMax(std::max(max, scroll_bar_.min));
  scroll_bar_.small_change = 1;
  scroll_bar_.large_change = 10;
  view_.ApplyScrollBar(scroll_bar_);
}

void HeaderViewerLogic::Resized() {
  if (loading_) return;
  state_.HdrWidth = RoundToInt16(width_);
  state_.HdrHeight = RoundToInt16(height_);

  scroll_bar_.height = std::max(0.0, height_ - kScrollBarBottomGap);
  scroll_bar_.left = width_ - kScrollBarRightOffset;
  view_.ApplyScrollBar(scroll_bar_);

  visible_lines_ = HeaderLinesWhole(height_);
  const int16_t count = CurrentLineCount();
  if (visible_lines_ < count) {
    scroll_bar_.visible = true;
    view_.ApplyScrollBar(scroll_bar_);
  } else {
    scroll_bar_.visible = false;
    view_.ApplyScrollBar(scroll_bar_);
    // Runs this handler again at once; what follows uses the visible lines as
    // that nested run leaves it.
    SetSize(width_, count * kLineTwips + kChromeTwips);
  }

  SetScrollMin(RoundToInt16(visible_lines_ / 2.0));
  SetScrollMax(RoundToInt16(CurrentLineCount() - visible_lines_ / 2.0));
  scroll_bar_.small_change = 1;
  scroll_bar_.large_change = 10;
  view_.ApplyScrollBar(scroll_bar_);

  const int value = scroll_bar_.value;
  ClearSurface();
  first_card_ = AtLeastOne(RoundToInt16(value - visible_lines_ / 2.0 + 1));
  last_card_ = ClampToInt16(int64_t{first_card_} + visible_lines_);
  LimitToLastCard();
  PrintCards(state_.CurrentSlot, first_card_, last_card_);
}

void HeaderViewerLogic::Scrolled() {
  visible_lines_ = HeaderLinesRounded(height_);
  const int value = scroll_bar_.value;
  ClearSurface();
  first_card_ = AtLeastOne(RoundToInt16(value - visible_lines_ / 2.0 + 2));
  if (value == scroll_bar_.min) first_card_ = 1;
  last_card_ = ClampToInt16(int64_t{first_card_} + visible_lines_);
  LimitToLastCard();
  PrintCards(state_.CurrentSlot, first_card_, last_card_);
}

void HeaderViewerLogic::LimitToLastCard() {
  const int16_t count = CurrentLineCount();
  if (last_card_ > count) {
    last_card_ = count;
    first_card_ = AtLeastOne(ClampToInt16(int64_t{count} - visible_lines_ + 2));
  }
}

void HeaderViewerLogic::Unload(double left, double top) {
  state_.HdrLeft = RoundToInt16(left);
  state_.HdrTop = top;
  state_.HdrWidth = RoundToInt16(width_);
  state_.HdrHeight = RoundToInt16(height_);
}

void HeaderViewerLogic::ResizedByUser(double width, double height, bool minimised) {
  if (minimised) return;
  width_ = width;
  height_ = height;
  Resized();
}

void HeaderViewerLogic::ScrolledByUser(int value) {
  if (value == scroll_bar_.value) return;  // our own mirroring, or no move at all
  SetScrollValue(value);
}

void HeaderViewerLogic::PrintCardsFromTop(int16_t slot) {
  if (slot < 1 || slot > kSlotCount) return;
  ClearSurface();
  PrintCards(slot, 1, SlotHeader(state_, slot).line_count);
}

void HeaderViewerLogic::SetSize(double width, double height) {
  // A window set to the size it already has raises no resize.
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  view_.ApplySize(width_, height_);
  Resized();
}

void HeaderViewerLogic::SetScrollMin(int value) {
  scroll_bar_.min = value;
  scroll_bar_.max = std::max(scroll_bar_.max, value);
  ClampScrollValue();
}

void HeaderViewerLogic::SetScrollMax(int value) {
  scroll_bar_.max = value;
  scroll_bar_.min = std::min(scroll_bar_.min, value);
  ClampScrollValue();
}

void HeaderViewerLogic::SetScrollValue(int value) {
  const int clamped = std::clamp(value, scroll_bar_.min, scroll_bar_.max);
  if (clamped == scroll_bar_.value) return;
  scroll_bar_.value = clamped;
  view_.ApplyScrollBar(scroll_bar_);
  Scrolled();
}

void HeaderViewerLogic::ClampScrollValue() {
  const int old = scroll_bar_.value;
  scroll_bar_.value = std::clamp(old, scroll_bar_.min, scroll_bar_.max);
  view_.ApplyScrollBar(scroll_bar_);
  if (scroll_bar_.value != old) Scrolled();
}

void HeaderViewerLogic::ClearSurface() {
  lines_.clear();
  view_.SurfaceChanged();
}

void HeaderViewerLogic::PrintCards(int16_t slot, int first, int last) {
  printed_slot_ = slot;
  const CardArray& cards = SlotHeader(state_, slot).cards;
  for (int k = std::max(first, 1); k <= last; ++k) {
    // A count beyond the stored cards prints empty lines rather than reading past them.
    lines_.push_back(static_cast<std::size_t>(k) < cards.size() ? cards[static_cast<std::size_t>(k)] : std::string());
  }
  view_.SurfaceChanged();
}

std::string HeaderText(const SharedState& state, int16_t slot) {
  std::string text;
  if (slot < 1 || slot > kSlotCount) return text;
  const CardArray& cards = SlotHeader(state, slot).cards;
  const int count = SlotHeader(state, slot).line_count;
  for (int k = 1; k <= count && static_cast<std::size_t>(k) < cards.size(); ++k) {
    text += cards[static_cast<std::size_t>(k)];
    text += '\n';
  }
  return text;
}

}  // namespace quillon
