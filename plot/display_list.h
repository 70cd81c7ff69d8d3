#pragma once
// DisplayList: a DrawingSurface that records what the renderer draws, so the
// plot window can paint it again whenever it is exposed (at any resolution,
// screen or printer) without touching the shared state, and tests can check
// every line the renderer emits.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "plot/renderer.h"

namespace quillon {

/// One recorded line, twips, with its colour (0x00BBGGRR).
struct RecordedLine {
  float x1, y1, x2, y2;
  int32_t color;
  bool operator==(const RecordedLine&) const = default;
};

/// The last position and caption given to one label.
struct RecordedLabel {
  bool set = false;
  float left = 0, top = 0;  ///< twips
  std::string caption;
};

class DisplayList : public DrawingSurface {
 public:
  void Clear() override;
  void SetForeColor(int32_t bgr) override { color_ = bgr; }
  void Line(float x1, float y1, float x2, float y2) override { lines_.push_back({x1, y1, x2, y2, color_}); }
  void SetLabel(PlotLabel label, float left, float top, const std::string& caption) override;

  /// Lines since the last Clear(), in drawing order.
  const std::vector<RecordedLine>& Lines() const { return lines_; }
  /// The label's last setting; labels keep it across Clear(), as window
  /// labels keep their position and caption when the drawing is erased.
  const RecordedLabel& Label(PlotLabel label) const { return labels_[static_cast<std::size_t>(label)]; }
  /// Number of Clear() calls so far.
  int ClearCount() const { return clear_count_; }
  /// Foreground colour in force (0x00BBGGRR).
  int32_t ForeColor() const { return color_; }

  /// Draws the recorded lines onto `target` in order (after clearing it), with
  /// one SetForeColor per run of equal colour; labels are not replayed.
  void Replay(DrawingSurface& target) const;

 private:
  std::vector<RecordedLine> lines_;
  std::array<RecordedLabel, kPlotLabelCount> labels_{};
  int32_t color_ = 0;
  int clear_count_ = 0;
};

}  // namespace quillon
