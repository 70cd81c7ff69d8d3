#include "render/display_list.h"

#include <algorithm>

namespace quillon {

void DisplayList::Clear() {
  // clear() keeps the capacity: the next drawing has about the same size.
  kinds_.clear();
  coordinates_.clear();
  colors_.clear();
  ++clear_count_;
}

inline void DisplayList::Record(float x1, float y1, float x2, float y2) {
  const bool same_color = !colors_.empty() && colors_.back().color == color_;
  if (!same_color) colors_.push_back({kinds_.size(), color_});
  const bool joined = same_color && !kinds_.empty() && x1 == end_x_ && y1 == end_y_;
  if (joined && y2 == y1) {
    kinds_.push_back(kJoinedAlongX);
    coordinates_.push_back(x2);
  } else if (joined && x2 == x1) {
    kinds_.push_back(kJoinedAlongY);
    coordinates_.push_back(y2);
  } else {
    kinds_.push_back(kWhole);
    coordinates_.insert(coordinates_.end(), {x1, y1, x2, y2});
  }
  end_x_ = x2;
  end_y_ = y2;
}

void DisplayList::Line(float x1, float y1, float x2, float y2) { Record(x1, y1, x2, y2); }

void DisplayList::DrawRecorded(const RecordedLine* lines, std::size_t count, const RecordedLine* previous) {
  for (std::size_t i = 0; i < count; ++i) {
    const RecordedLine& line = lines[i];
    if (ColorChangesAt(lines, i, previous)) color_ = line.color;
    Record(line.x1, line.y1, line.x2, line.y2);
  }
}

// Hands the lines to `sink` in order, a block at a time, as RecordedLines.
template <typename Sink>
void DisplayList::Decode(Sink&& sink) const {
  constexpr std::size_t kBlock = 256;  // small enough to stay in the first-level cache
  RecordedLine block[kBlock];
  std::size_t filled = 0, next_coordinate = 0, run = 0;
  float x = 0, y = 0;
  for (std::size_t i = 0; i < kinds_.size(); ++i) {
    if (run + 1 < colors_.size() && colors_[run + 1].first_line == i) ++run;
    RecordedLine& line = block[filled];
    line.color = colors_[run].color;
    switch (kinds_[i]) {
      case kJoinedAlongX:
        line.x1 = x;
        line.y1 = line.y2 = y;
        line.x2 = coordinates_[next_coordinate++];
        break;
      case kJoinedAlongY:
        line.x1 = line.x2 = x;
        line.y1 = y;
        line.y2 = coordinates_[next_coordinate++];
        break;
      default:
        line.x1 = coordinates_[next_coordinate];
        line.y1 = coordinates_[next_coordinate + 1];
        line.x2 = coordinates_[next_coordinate + 2];
        line.y2 = coordinates_[next_coordinate + 3];
        next_coordinate += 4;
        break;
    }
    x = line.x2;
    y = line.y2;
    if (++filled == kBlock) {
      sink(block, filled);
      filled = 0;
    }
  }
  if (filled > 0) sink(block, filled);
}

std::vector<RecordedLine> DisplayList::Lines() const {
  std::vector<RecordedLine> lines;
  lines.reserve(kinds_.size());
  Decode([&](const RecordedLine* block, std::size_t count) { lines.insert(lines.end(), block, block + count); });
  return lines;
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
  // The last line of one block tells the next block which colour is in force.
  RecordedLine last{};
  bool any = false;
  Decode([&](const RecordedLine* block, std::size_t count) {
    target.DrawRecorded(block, count, any ? &last : nullptr);
    last = block[count - 1];
    any = true;
  });
}

}  // namespace quillon
