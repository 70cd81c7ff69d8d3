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
#include <limits>

#include "render/pixel_grid.h"
#include "render/renderer.h"

namespace quillon {

class RasterSurface final : public DrawingSurface {
 public:
  /// Draws into `image` (not owned; Format_RGB32 or Format_ARGB32_Premultiplied,
  /// kept alive and unresized while the surface is used) at `pixels_per_twip`
  /// device pixels per twip. Clear() fills it with `background`.
  RasterSurface(QImage& image, double pixels_per_twip, QColor background);
  /// Writes what is still pending (see Flush).
  ~RasterSurface() override;
  RasterSurface(const RasterSurface&) = delete;
  RasterSurface& operator=(const RasterSurface&) = delete;

  void Clear() override;
  void SetForeColor(int32_t bgr) override;
  /// Both end pixels included; lines outside the image are clipped.
  void Line(float x1, float y1, float x2, float y2) override;
  /// Labels are widgets (or text drawn by the caller); nothing to do here.
  void SetLabel(PlotLabel, float, float, const std::string&) override {}
  /// The recorded lines in one loop, without a call per line.
  void DrawRecorded(const RecordedLine* lines, std::size_t count, const RecordedLine* previous) override;

  /// Writes the pending column span. Lines of one colour that fall into one
  /// pixel column are merged before they are written (order within a colour
  /// cannot change the picture); the image is complete after Flush() or the
  /// surface's destruction.
  void Flush();

  /// The device pixel a coordinate in twips falls on (nearest, halves up),
  /// clamped to +-2^24 so that the span arithmetic cannot overflow; NaN gives
  /// the lower limit. Inline: it runs four times per segment.
  static int ToPixel(float twips, double pixels_per_twip) { return PixelOf(twips, pixels_per_twip); }

  /// Lines are lit at whole device pixels, so the renderer may draw a pixel
  /// column where many samples meet as one run.
  double PixelsPerTwip() const override { return scale_; }

 private:
  void DrawLine(float x1, float y1, float x2, float y2);
  void SettleExtent();
  void LearnColumn(int x);
  float FirstTwipOfPixel(int pixel) const;
  void HorizontalSpan(int x1, int x2, int y);
  void VerticalSpan(int x, int y1, int y2);
  void WriteColumn(int x, int y1, int y2);

  QImage& image_;
  double scale_;
  uint32_t background_;
  uint32_t pixel_ = 0xFF000000u;
  QColor color_{Qt::black};
  uchar* bits_ = nullptr;
  qsizetype stride_ = 0;  // bytes per scan line
  int width_ = 0;
  int height_ = 0;
  // The column span waiting to be written: a staircase's risers and steps
  // within one pixel column merge into one span.
  bool pending_ = false;
  int pending_x_ = 0, pending_y1_ = 0, pending_y2_ = 0;
  // Lines that joined the pending column without a conversion: the range of
  // their ends in twips, converted when the column is settled. ToPixel never
  // decreases, so the pixels of the two extremes bound all of them.
  bool extended_ = false;
  float extent_lo_ = 0, extent_hi_ = 0;
  // The twips [column_lo_, column_hi_) that fall on pixel column column_x_,
  // once several lines have met in that column.
  bool column_known_ = false;
  int column_x_ = 0;
  float column_lo_ = 0, column_hi_ = 0;
  int lines_in_column_ = 0;
  // The end of the last line and its pixel: a staircase's next line starts
  // there. NaN never compares equal, so nothing matches before the first line.
  float last_x_ = std::numeric_limits<float>::quiet_NaN();
  float last_y_ = std::numeric_limits<float>::quiet_NaN();
  bool last_pixel_known_ = false;
  bool last_in_column_ = false;  ///< the last line ended in the pending column
  int last_px_ = 0, last_py_ = 0;
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
