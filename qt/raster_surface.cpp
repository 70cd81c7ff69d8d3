#include "qt/raster_surface.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "qt/twips.h"

namespace quillon {

namespace {

// Lines drawn in one pixel column before its edges are worked out.
constexpr int kLinesBeforeLearning = 16;

}  // namespace

RasterSurface::RasterSurface(QImage& image, double pixels_per_twip, QColor background)
    : image_(image), scale_(pixels_per_twip), background_(background.rgb()) {
  // The spans write whole 32-bit pixels.
  if (image_.depth() != 32) image_ = image_.convertToFormat(QImage::Format_RGB32);
  bits_ = image_.bits();  // detaches once, here, not per line
  stride_ = image_.bytesPerLine();
  width_ = image_.width();
  height_ = image_.height();
}

RasterSurface::~RasterSurface() { Flush(); }

void RasterSurface::Clear() {
  extended_ = false;
  last_in_column_ = false;
  pending_ = false;
  image_.fill(background_);
}

void RasterSurface::SetForeColor(int32_t bgr) {
  if (ColorFromBgr(bgr) == color_) return;
  Flush();  // what is pending belongs to the old colour
  color_ = ColorFromBgr(bgr);
  pixel_ = color_.rgb();  // 0xAARRGGBB with alpha 255: the image's pixel format
}

void RasterSurface::Line(float x1, float y1, float x2, float y2) { DrawLine(x1, y1, x2, y2); }

void RasterSurface::DrawRecorded(const RecordedLine* lines, std::size_t count, const RecordedLine* previous) {
  for (std::size_t i = 0; i < count; ++i) {
    const RecordedLine& line = lines[i];
    if (ColorChangesAt(lines, i, previous)) RasterSurface::SetForeColor(line.color);
    DrawLine(line.x1, line.y1, line.x2, line.y2);
  }
}

inline void RasterSurface::DrawLine(float x1, float y1, float x2, float y2) {
  const bool joined = x1 == last_x_ && y1 == last_y_;
  // Most lines of a dense spectrum start where the last one ended, inside
  // the pending column, and end in it too: they only widen its extent.
  if (joined && last_in_column_ && x2 >= column_lo_ && x2 < column_hi_ && y2 == y2) {
    if (!extended_) {
      extended_ = true;
      extent_lo_ = extent_hi_ = y2;
    } else {
      extent_lo_ = y2 < extent_lo_ ? y2 : extent_lo_;
      extent_hi_ = y2 > extent_hi_ ? y2 : extent_hi_;
    }
    last_x_ = x2;
    last_y_ = y2;
    last_pixel_known_ = false;
    return;
  }
  SettleExtent();

  // A staircase line's two ends share one coordinate exactly: convert only
  // what is new.
  int px1, py1;
  if (joined && last_pixel_known_) {
    px1 = last_px_;
    py1 = last_py_;
  } else {
    px1 = ToPixel(x1, scale_);
    py1 = ToPixel(y1, scale_);
  }
  const int px2 = x2 == x1 ? px1 : ToPixel(x2, scale_);
  const int py2 = y2 == y1 ? py1 : ToPixel(y2, scale_);
  last_x_ = x2;
  last_y_ = y2;
  last_px_ = px2;
  last_py_ = py2;
  last_pixel_known_ = true;
  if (py1 == py2) {
    HorizontalSpan(px1, px2, py1);
  } else if (px1 == px2) {
    VerticalSpan(px1, py1, py2);
  } else {
    // The renderer draws only horizontal and vertical lines; anything else
    // goes through the painter so the picture stays right.
    Flush();
    QPainter painter(&image_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(color_, 1));
    painter.drawLine(QPoint(px1, py1), QPoint(px2, py2));
    painter.end();
    bits_ = image_.bits();
  }

  // The fast path above needs the line to end on the pending span, in its column.
  last_in_column_ = false;
  if (pending_ && px1 == px2 && px2 == pending_x_ && py2 >= pending_y1_ && py2 <= pending_y2_) {
    if (!column_known_ || column_x_ != px2) {
      // Learning a column's edges costs several conversions: worth it only
      // where many lines meet, as when thousands of samples share a column.
      if (++lines_in_column_ >= kLinesBeforeLearning) LearnColumn(px2);
    }
    last_in_column_ = column_known_ && column_x_ == px2;
  }
}

// The first float whose pixel is at least `pixel`; NaN when the clamped
// range has none.
float RasterSurface::FirstTwipOfPixel(int pixel) const {
  float t = static_cast<float>((pixel - 0.5) / scale_);
  for (int k = 0; k < 64 && ToPixel(t, scale_) >= pixel; ++k) t = std::nextafter(t, -HUGE_VALF);
  for (int k = 0; k < 64 && ToPixel(t, scale_) < pixel; ++k) t = std::nextafter(t, HUGE_VALF);
  if (ToPixel(t, scale_) < pixel || ToPixel(std::nextafter(t, -HUGE_VALF), scale_) >= pixel)
    return std::numeric_limits<float>::quiet_NaN();
  return t;
}

void RasterSurface::LearnColumn(int x) {
  // Columns are met from left to right: the last one's right edge is this
  // one's left edge.
  const float lo = column_known_ && column_x_ == x - 1 ? column_hi_ : FirstTwipOfPixel(x);
  const float hi = FirstTwipOfPixel(x + 1);
  // A NaN edge makes the fast path's test fail, which is what is wanted.
  column_known_ = true;
  column_x_ = x;
  column_lo_ = lo;
  column_hi_ = hi;
}

// Folds the lines that joined the pending column without conversion into
// its pixel span.
void RasterSurface::SettleExtent() {
  if (!extended_) return;
  extended_ = false;
  pending_y1_ = std::min(pending_y1_, ToPixel(extent_lo_, scale_));
  pending_y2_ = std::max(pending_y2_, ToPixel(extent_hi_, scale_));
}

void RasterSurface::HorizontalSpan(int x1, int x2, int y) {
  if (x1 == x2) {
    VerticalSpan(x1, y, y);  // one pixel: part of its column
    return;
  }
  if (y < 0 || y >= height_) return;
  if (x1 > x2) std::swap(x1, x2);
  x1 = std::max(x1, 0);
  x2 = std::min(x2, width_ - 1);
  if (x1 > x2) return;
  auto* row = reinterpret_cast<uint32_t*>(bits_ + stride_ * y);
  std::fill(row + x1, row + x2 + 1, pixel_);
}

void RasterSurface::VerticalSpan(int x, int y1, int y2) {
  if (y1 > y2) std::swap(y1, y2);
  if (!pending_ || x != pending_x_) lines_in_column_ = 0;
  if (pending_ && x == pending_x_ && y1 <= pending_y2_ + 1 && y2 >= pending_y1_ - 1) {
    pending_y1_ = std::min(pending_y1_, y1);
    pending_y2_ = std::max(pending_y2_, y2);
    return;
  }
  Flush();
  pending_ = true;
  pending_x_ = x;
  pending_y1_ = y1;
  pending_y2_ = y2;
}

void RasterSurface::Flush() {
  SettleExtent();
  last_in_column_ = false;
  if (!pending_) return;
  pending_ = false;
  WriteColumn(pending_x_, pending_y1_, pending_y2_);
}

void RasterSurface::WriteColumn(int x, int y1, int y2) {
  if (x < 0 || x >= width_) return;
  y1 = std::max(y1, 0);
  y2 = std::min(y2, height_ - 1);
  uchar* p = bits_ + stride_ * y1 + static_cast<qsizetype>(x) * 4;
  for (int y = y1; y <= y2; ++y, p += stride_) *reinterpret_cast<uint32_t*>(p) = pixel_;
}

PainterSurface::PainterSurface(QPainter& painter, double units_per_twip, double pen_width, QRectF area,
                               QColor background)
    : painter_(painter), scale_(units_per_twip), area_(area), background_(background) {
  pen_ = QPen(Qt::black, pen_width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
  painter_.setPen(pen_);
}

void PainterSurface::Clear() { painter_.fillRect(area_, background_); }

void PainterSurface::SetForeColor(int32_t bgr) {
  pen_.setColor(ColorFromBgr(bgr));
  painter_.setPen(pen_);
}

void PainterSurface::Line(float x1, float y1, float x2, float y2) {
  painter_.drawLine(QLineF(x1 * scale_, y1 * scale_, x2 * scale_, y2 * scale_));
}

}  // namespace quillon
