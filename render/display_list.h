#pragma once
// DisplayList: a DrawingSurface that records what the renderer draws, so the
// plot window can paint it again whenever it is exposed (at any resolution,
// screen or printer) without touching the shared state, and tests can check
// every line the renderer emits.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "render/renderer.h"

namespace quillon {

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
  void Line(float x1, float y1, float x2, float y2) override;
  void SetLabel(PlotLabel label, float left, float top, const std::string& caption) override;
  /// Records the lines as Line would, in one loop.
  void DrawRecorded(const RecordedLine* lines, std::size_t count, const RecordedLine* previous) override;

  /// Lines since the last Clear(), in drawing order.
  std::vector<RecordedLine> Lines() const;
  /// Number of lines since the last Clear().
  std::size_t LineCount() const { return kinds_.size(); }
  /// Bytes the recording holds (its capacity, not only what is in use).
  std::size_t MemoryBytes() const {
    return kinds_.capacity() + coordinates_.capacity() * sizeof(float) + colors_.capacity() * sizeof(ColorRun);
  }
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
  // A line that starts where the last one ended, in the same colour, and
  // runs horizontally or vertically keeps only its new coordinate. A
  // staircase then costs 5 bytes a line rather than 20: moving memory is
  // most of what a million-sample redraw spends.
  enum Kind : uint8_t { kWhole, kJoinedAlongX, kJoinedAlongY };
  struct ColorRun {
    std::size_t first_line;
    int32_t color;
  };
  void Record(float x1, float y1, float x2, float y2);
  template <typename Sink>
  void Decode(Sink&& sink) const;

  std::vector<uint8_t> kinds_;
  std::vector<float> coordinates_;
  std::vector<ColorRun> colors_;
  float end_x_ = 0, end_y_ = 0;  // end of the last line recorded
  std::array<RecordedLabel, kPlotLabelCount> labels_{};
  int32_t color_ = 0;
  int clear_count_ = 0;
};

}  // namespace quillon
