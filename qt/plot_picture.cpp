#include "qt/plot_picture.h"

#include <QFontInfo>
#include <QString>
#include <algorithm>
#include <cmath>

namespace quillon {

namespace {

constexpr AxisLabelSize kAxisLabelSizes[kPlotLabelCount] = {
    {750, 255},   // first wavelength tick
    {750, 255},   // last wavelength tick
    {2400, 255},  // "Wavelength /Angstroms"
    {780, 255},   // top intensity tick
    {780, 255},   // intensity step
    {780, 255},   // bottom intensity tick
};

// Whole pixels of a length in twips at `per_twip` pixels a twip.
int Pixels(double twips, double per_twip) { return static_cast<int>(std::lround(twips * per_twip)); }

}  // namespace

QFont PlotWindowFont() {
  QFont font;
  font.setFamilies({"MS Sans Serif", "Arial", "Helvetica", "Nimbus Sans", "Liberation Sans", "DejaVu Sans"});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8.25);
  font.setBold(true);
  return font;
}

const AxisLabelSize& AxisLabelSizeOf(PlotLabel label) { return kAxisLabelSizes[static_cast<int>(label)]; }

PlotPicture PictureOfDrawing(const DisplayList& drawing, const PlotFrame& frame, const PictureMetrics& metrics) {
  PlotPicture picture;
  picture.drawing = &drawing;
  picture.dots_per_inch = metrics.dots_per_inch;
  picture.pixels_per_twip = metrics.dots_per_inch / 1440.0;
  picture.device_ratio = metrics.device_ratio;
  picture.background = Qt::white;
  // The family the screen draws with, so that another reader of the file
  // does not fall back to a font of other widths.
  QFont font = metrics.label_font;
  QString family = QFontInfo(font).family();
  const qsizetype foundry = family.indexOf(QStringLiteral(" ["));  // "Nimbus Sans [urw]"
  if (foundry > 0) family.truncate(foundry);
  font.setFamilies({family});
  // The picture ends below the frame and the axis labels: the band of the
  // bottom row's controls is not part of the plot.
  double bottom = frame.bottom * picture.pixels_per_twip;
  for (int k = 0; k < kPlotLabelCount; ++k) {
    const auto label = static_cast<PlotLabel>(k);
    const RecordedLabel& recorded = drawing.Label(label);
    if (!recorded.set || recorded.caption.empty()) continue;
    const AxisLabelSize& size = AxisLabelSizeOf(label);
    // Right and bottom edges are rounded on their own, as the window places
    // its controls.
    const double per_twip = picture.pixels_per_twip;
    const int x = Pixels(recorded.left, per_twip);
    const int y = Pixels(recorded.top, per_twip);
    const QRectF rect(x, y, Pixels(recorded.left + size.width, per_twip) - x,
                      Pixels(recorded.top + size.height, per_twip) - y);
    picture.labels.push_back({rect, QString::fromStdString(recorded.caption), font, QColor(Qt::black),
                              static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter)});
    bottom = std::max(bottom, rect.bottom());
  }
  constexpr int kMarginBelow = 3;  // pixels
  const int height = std::clamp(static_cast<int>(std::ceil(bottom)) + kMarginBelow, 1, std::max(1, metrics.area.height()));
  picture.size = QSize(metrics.area.width(), height);
  return picture;
}

}  // namespace quillon
