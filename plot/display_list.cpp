#include "plot/display_list.h"

namespace quillon {

void DisplayList::Clear() {
  lines_.clear();  // keeps the capacity: the next drawing has the same size
  ++clear_count_;
}

void DisplayList::SetLabel(PlotLabel label, float left, float top, const std::string& caption) {
  RecordedLabel& entry = labels_[static_cast<std::size_t>(label)];
  entry.set = true;
  entry.left = left;
  entry.top = top;
  entry.caption = caption;
}

void DisplayList::Replay(DrawingSurface& target) const {
  target.Clear();
  bool first = true;
  int32_t color = 0;
  for (const RecordedLine& line : lines_) {
    if (first || line.color != color) {
      color = line.color;
      target.SetForeColor(color);
      first = false;
    }
    target.Line(line.x1, line.y1, line.x2, line.y2);
  }
}

}  // namespace quillon
