#include "qt/plot_export.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QStringList>
#include <QSvgGenerator>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "qt/raster_surface.h"
#include "qt/twips.h"

namespace quillon {

namespace {

constexpr double kInchesPerMeter = 1.0 / 0.0254;
constexpr double kPointsPerInch = 72.0;

// Lines in vectors: the renderer's staircases come as lines each starting
// where the last ended, and go out as one polyline per run of joined lines
// of one colour, so a curve is one path with proper joins rather than
// thousands of separate strokes.
class VectorSurface final : public DrawingSurface {
 public:
  VectorSurface(QPainter& painter, double units_per_twip, QRectF area, QColor background)
      : painter_(painter), scale_(units_per_twip), area_(area), background_(background) {
    pen_ = QPen(Qt::black, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    painter_.setPen(pen_);
    painter_.setBrush(Qt::NoBrush);
  }
  ~VectorSurface() override { Flush(); }
  VectorSurface(const VectorSurface&) = delete;
  VectorSurface& operator=(const VectorSurface&) = delete;

  void Clear() override {
    points_.clear();
    painter_.fillRect(area_, background_);
  }
  void SetForeColor(int32_t bgr) override {
    const QColor color = ColorFromBgr(bgr);
    if (color == pen_.color()) return;
    Flush();
    pen_.setColor(color);
    painter_.setPen(pen_);
  }
  void Line(float x1, float y1, float x2, float y2) override {
    const QPointF from(x1 * scale_, y1 * scale_);
    const QPointF to(x2 * scale_, y2 * scale_);
    if (points_.empty() || points_.back() != from) {
      Flush();
      points_.push_back(from);
    }
    points_.push_back(to);
  }
  void SetLabel(PlotLabel, float, float, const std::string&) override {}

  void Flush() {
    if (points_.size() >= 2) painter_.drawPolyline(points_.data(), static_cast<int>(points_.size()));
    points_.clear();
  }

 private:
  QPainter& painter_;
  double scale_;
  QRectF area_;
  QColor background_;
  QPen pen_;
  std::vector<QPointF> points_;
};

void DrawLabels(QPainter& painter, const PlotPicture& picture) {
  for (const PlotPicture::Text& label : picture.labels) {
    painter.setFont(label.font);
    painter.setPen(label.color);
    painter.drawText(label.rect, label.alignment, label.text);
  }
}

// Lines and labels in the painter's logical pixels of the client area.
void DrawVectors(QPainter& painter, const PlotPicture& picture) {
  const QRectF area(QPointF(0, 0), QSizeF(picture.size));
  painter.setClipRect(area);
  {
    VectorSurface surface(painter, picture.pixels_per_twip, area, picture.background);
    picture.drawing->Replay(surface);
  }
  DrawLabels(painter, picture);
}

std::string WritePng(const PlotPicture& picture, QIODevice& device) {
  // The window's own buffer: device pixels, drawn by the window's rasteriser.
  const double ratio = picture.device_ratio > 0 ? picture.device_ratio : 1.0;
  const QSize pixels = (QSizeF(picture.size) * ratio).toSize().expandedTo(QSize(1, 1));
  QImage image(pixels, QImage::Format_RGB32);
  if (image.isNull()) return "not enough memory for the image";
  image.setDevicePixelRatio(ratio);
  // Text is sized for the screen's DPI, as the window's labels are.
  const int dots_per_meter = static_cast<int>(std::lround(picture.dots_per_inch * ratio * kInchesPerMeter));
  image.setDotsPerMeterX(dots_per_meter);
  image.setDotsPerMeterY(dots_per_meter);
  {
    RasterSurface surface(image, picture.pixels_per_twip * ratio, picture.background);
    picture.drawing->Replay(surface);
  }
  {
    QPainter painter(&image);
    DrawLabels(painter, picture);
  }
  if (!image.save(&device, "PNG")) return "the PNG image could not be written";
  return "";
}

std::string WriteSvg(const PlotPicture& picture, QIODevice& device) {
  QSvgGenerator svg;
  svg.setOutputDevice(&device);
  svg.setSize(picture.size);
  svg.setViewBox(QRect(QPoint(0, 0), picture.size));
  svg.setResolution(static_cast<int>(std::lround(picture.dots_per_inch)));
  svg.setTitle(QStringLiteral("Plot Spectra"));
  svg.setDescription(QStringLiteral("Spectra drawn by Quillon"));
  QPainter painter;
  if (!painter.begin(&svg)) return "the SVG drawing could not be started";
  DrawVectors(painter, picture);
  if (!painter.end()) return "the SVG drawing could not be finished";
  return "";
}

std::string WritePdf(const PlotPicture& picture, QIODevice& device) {
  // One page of the picture's own size, without margins; painter units are
  // the screen's logical pixels.
  const int dpi = std::max(1, static_cast<int>(std::lround(picture.dots_per_inch)));
  const double width = picture.size.width() * kPointsPerInch / dpi;
  const double height = picture.size.height() * kPointsPerInch / dpi;
  const QPageSize page(QSizeF(std::min(width, height), std::max(width, height)), QPageSize::Point, QString(),
                       QPageSize::ExactMatch);
  const QPageLayout layout(page, width > height ? QPageLayout::Landscape : QPageLayout::Portrait,
                           QMarginsF(0, 0, 0, 0), QPageLayout::Point);
  QPdfWriter pdf(&device);
  pdf.setResolution(dpi);
  if (!pdf.setPageLayout(layout)) return "the PDF page could not be laid out";
  pdf.setTitle(QStringLiteral("Plot Spectra"));
  pdf.setCreator(QStringLiteral("Quillon"));
  QPainter painter;
  if (!painter.begin(&pdf)) return "the PDF document could not be started";
  DrawVectors(painter, picture);
  if (!painter.end()) return "the PDF document could not be finished";
  return "";
}

// The extension of the first pattern of a filter: "PDF document (*.pdf)" gives "pdf".
QString SuffixOfFilter(const QString& filter) {
  const qsizetype star = filter.indexOf(QStringLiteral("*."));
  if (star < 0) return {};
  qsizetype end = star + 2;
  while (end < filter.size() && filter.at(end).isLetterOrNumber()) ++end;
  return filter.mid(star + 2, end - star - 2);
}

}  // namespace

std::string WritePlotPicture(const PlotPicture& picture, ExportFormat format, QIODevice& device) {
  if (picture.drawing == nullptr || picture.size.isEmpty() || !(picture.pixels_per_twip > 0) ||
      !std::isfinite(picture.pixels_per_twip)) {
    return "there is no plot to write";
  }
  switch (format) {
    case ExportFormat::kPng: return WritePng(picture, device);
    case ExportFormat::kSvg: return WriteSvg(picture, device);
    case ExportFormat::kPdf: return WritePdf(picture, device);
  }
  return "unknown format";
}

std::string ExportPlotPicture(const PlotPicture& picture, ExportFormat format, const std::string& path) {
  ReplacingFile file;
  if (const int error = file.Create(path); error != 0) return std::strerror(error);
  std::string failure;
  {
    QFile out;
    if (!out.open(file.Descriptor(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
      return out.errorString().toStdString();
    }
    failure = WritePlotPicture(picture, format, out);
    if (failure.empty() && (!out.flush() || out.error() != QFileDevice::NoError)) {
      failure = out.errorString().toStdString();
    }
  }
  if (!failure.empty()) return failure;  // the temporary file goes with `file`
  if (const int error = file.Commit(); error != 0) return std::strerror(error);
  return "";
}

std::optional<std::string> QtSaveDialog::AskFileName(const std::string& title, const std::string& proposed,
                                                     const std::string& filters) {
  QFileDialog dialog(owner_, QString::fromStdString(title));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  const QStringList filter_list = QString::fromStdString(filters).split(QStringLiteral(";;"));
  dialog.setNameFilters(filter_list);
  const QFileInfo start(QString::fromStdString(proposed));
  dialog.setDirectory(start.absolutePath());
  dialog.selectFile(start.fileName());
  for (const QString& filter : filter_list) {
    if (SuffixOfFilter(filter).compare(start.suffix(), Qt::CaseInsensitive) == 0) {
      dialog.selectNameFilter(filter);
      break;
    }
  }
  // A name typed without an extension gets the chosen type's.
  dialog.setDefaultSuffix(SuffixOfFilter(dialog.selectedNameFilter()));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog](const QString& filter) { dialog.setDefaultSuffix(SuffixOfFilter(filter)); });
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
  return files.first().toStdString();
}

}  // namespace quillon
