#pragma once
// Screen drawing surfaces of the plot. RasterSurface writes the renderer's
// horizontal and vertical lines as pixel spans straight into a QImage — the
// same pixels a 1-pixel pen without antialiasing lights, at a fraction of the
// cost of one painter call per segment. PainterSurface draws through any
// QPainter (printer, PDF, scaled widget rendering) for crisp output at the
// target's own resolution.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <cstdint>

#include "plot/renderer.h"

namespace quillon {

class RasterSurface : public DrawingSurface {
 public:
  /// Draws into `image` (not owned; Format_RGB32 or Format_ARGB32_Premultiplied,
  /// kept alive and unresized while the surface is used) at `pixels_per_twip`
  /// device pixels per twip. Clear() fills it with `background`.
  RasterSurface(QImage& image, double pixels_per_twip, QColor background);

  void Clear() override;
  void SetForeColor(int32_t bgr) override;
  /// Both end pixels included; lines outside the image are clipped.
  void Line(float x1, float y1, float x2, float y2) override;
  /// Labels are widgets (or text drawn by the caller); nothing to do here.
  void SetLabel(PlotLabel, float, float, const std::string&) override {}

  /// The device pixel a coordinate in twips falls on (nearest, halves up),
  /// clamped to +-2^24 so that the span arithmetic cannot overflow.
  static int ToPixel(float twips, double pixels_per_twip);

 private:
  void HorizontalSpan(int x1, int x2, int y);
  void VerticalSpan(int x, int y1, int y2);

  QImage& image_;
  double scale_;
  uint32_t background_;
  uint32_t pixel_ = 0xFF000000u;
  QColor color_{Qt::black};
  uchar* bits_ = nullptr;
  qsizetype stride_ = 0;  // bytes per scan line
  int width_ = 0;
  int height_ = 0;
};

class PainterSurface : public DrawingSurface {
 public:
  /// Draws on `painter` (not owned) with `units_per_twip` painter units per
  /// twip and lines `pen_width` painter units wide; Clear() fills `area`
  /// (painter units) with `background`.
  PainterSurface(QPainter& painter, double units_per_twip, double pen_width, QRectF area, QColor background);

  void Clear() override;
  void SetForeColor(int32_t bgr) override;
  void Line(float x1, float y1, float x2, float y2) override;
  void SetLabel(PlotLabel, float, float, const std::string&) override {}

 private:
  QPainter& painter_;
  double scale_;
  QRectF area_;
  QColor background_;
  QPen pen_;
};

}  // namespace quillon
