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

void HeaderViewerLogic::Form_Load() {
  const ScopedFlag loading(HdrLoading_);
  left_ = state_.HdrLeft;
  // HdrTop holds any number; a window can only be placed within 16 bits.
  top_ = std::isfinite(state_.HdrTop) ? std::clamp(state_.HdrTop, -32768.0, 32767.0) : 0.0;
  view_.ApplyPosition(left_, top_);
  width_ = state_.HdrWidth;
  height_ = state_.HdrHeight;
  view_.ApplySize(width_, height_);
  Form_Resize();  // raised by the new size; does nothing while loading
  HdrVisibleLines_ = HeaderLinesWhole(state_.HdrHeight);

  // Setting the minimum may move the value and so run VScroll1_Change at once;
  // the maximum is then computed from HdrVisibleLines as that run left it.
  const int min = RoundToInt16(HdrVisibleLines_ / 2.0);
  SetScrollMin(min);
  SetScrollValue(min);
  const int max = RoundToInt16(CurrentLineCount() - HdrVisibleLines_ / 2.0);
  SetScrollMax(std::max(max, VScroll1_.Min));
  VScroll1_.SmallChange = 1;
  VScroll1_.LargeChange = 10;
  view_.ApplyScrollBar(VScroll1_);
}

void HeaderViewerLogic::Form_Resize() {
  if (HdrLoading_) return;
  state_.HdrWidth = RoundToInt16(width_);
  state_.HdrHeight = RoundToInt16(height_);

  VScroll1_.Height = std::max(0.0, height_ - kScrollBarBottomGap);
  VScroll1_.Left = width_ - kScrollBarRightOffset;
  view_.ApplyScrollBar(VScroll1_);

  HdrVisibleLines_ = HeaderLinesWhole(height_);
  const int16_t count = CurrentLineCount();
  if (HdrVisibleLines_ < count) {
    VScroll1_.Visible = true;
    view_.ApplyScrollBar(VScroll1_);
  } else {
    VScroll1_.Visible = false;
    view_.ApplyScrollBar(VScroll1_);
    // Runs this handler again at once; what follows uses HdrVisibleLines as
    // that nested run leaves it.
    SetSize(width_, count * kLineTwips + kChromeTwips);
  }

  SetScrollMin(RoundToInt16(HdrVisibleLines_ / 2.0));
  SetScrollMax(RoundToInt16(CurrentLineCount() - HdrVisibleLines_ / 2.0));
  VScroll1_.SmallChange = 1;
  VScroll1_.LargeChange = 10;
  view_.ApplyScrollBar(VScroll1_);

  const int value = VScroll1_.Value;
  ClearSurface();
  HdrFirstCard_ = AtLeastOne(RoundToInt16(value - HdrVisibleLines_ / 2.0 + 1));
  HdrLastCard_ = ClampToInt16(int64_t{HdrFirstCard_} + HdrVisibleLines_);
  LimitToLastCard();
  PrintCards(state_.CurrentSlot, HdrFirstCard_, HdrLastCard_);
}

void HeaderViewerLogic::VScroll1_Change() {
  HdrVisibleLines_ = HeaderLinesRounded(height_);
  const int value = VScroll1_.Value;
  ClearSurface();
  HdrFirstCard_ = AtLeastOne(RoundToInt16(value - HdrVisibleLines_ / 2.0 + 2));
  if (value == VScroll1_.Min) HdrFirstCard_ = 1;
  HdrLastCard_ = ClampToInt16(int64_t{HdrFirstCard_} + HdrVisibleLines_);
  LimitToLastCard();
  PrintCards(state_.CurrentSlot, HdrFirstCard_, HdrLastCard_);
}

void HeaderViewerLogic::LimitToLastCard() {
  const int16_t count = CurrentLineCount();
  if (HdrLastCard_ > count) {
    HdrLastCard_ = count;
    HdrFirstCard_ = AtLeastOne(ClampToInt16(int64_t{count} - HdrVisibleLines_ + 2));
  }
}

void HeaderViewerLogic::Form_Unload(double left, double top) {
  state_.HdrLeft = RoundToInt16(left);
  state_.HdrTop = top;
  state_.HdrWidth = RoundToInt16(width_);
  state_.HdrHeight = RoundToInt16(height_);
}

void HeaderViewerLogic::ResizedByUser(double width, double height, bool minimised) {
  if (minimised) return;
  width_ = width;
  height_ = height;
  Form_Resize();
}

void HeaderViewerLogic::ScrolledByUser(int value) {
  if (value == VScroll1_.Value) return;  // our own mirroring, or no move at all
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
  Form_Resize();
}

void HeaderViewerLogic::SetScrollMin(int value) {
  VScroll1_.Min = value;
  VScroll1_.Max = std::max(VScroll1_.Max, value);
  ClampScrollValue();
}

void HeaderViewerLogic::SetScrollMax(int value) {
  VScroll1_.Max = value;
  VScroll1_.Min = std::min(VScroll1_.Min, value);
  ClampScrollValue();
}

void HeaderViewerLogic::SetScrollValue(int value) {
  const int clamped = std::clamp(value, VScroll1_.Min, VScroll1_.Max);
  if (clamped == VScroll1_.Value) return;
  VScroll1_.Value = clamped;
  view_.ApplyScrollBar(VScroll1_);
  VScroll1_Change();
}

void HeaderViewerLogic::ClampScrollValue() {
  const int old = VScroll1_.Value;
  VScroll1_.Value = std::clamp(old, VScroll1_.Min, VScroll1_.Max);
  view_.ApplyScrollBar(VScroll1_);
  if (VScroll1_.Value != old) VScroll1_Change();
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
