#include "plot/raster_surface.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "shell/qt_twips.h"

namespace quillon {

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
  pending_ = false;
  image_.fill(background_);
}

void RasterSurface::SetForeColor(int32_t bgr) {
  if (ColorFromBgr(bgr) == color_) return;
  Flush();  // what is pending belongs to the old colour
  color_ = ColorFromBgr(bgr);
  pixel_ = color_.rgb();  // 0xAARRGGBB with alpha 255: the image's pixel format
}

void RasterSurface::Line(float x1, float y1, float x2, float y2) {
  // Staircase lines share one coordinate exactly: convert it once.
  const int px1 = ToPixel(x1, scale_), py1 = ToPixel(y1, scale_);
  const int px2 = x2 == x1 ? px1 : ToPixel(x2, scale_);
  const int py2 = y2 == y1 ? py1 : ToPixel(y2, scale_);
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
