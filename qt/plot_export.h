#pragma once
// File "Export ..." of the plot window and quillon-render's output: the plot
// as drawn (frame, grid, curves and the axis labels, without the window's
// controls) written as a PNG image at the screen's resolution, or as an SVG
// drawing or a PDF page in vectors with the labels as real text. The lines
// are RenderPlot's drawing as the window recorded it, replayed through a
// DrawingSurface onto a QImage (the window's own rasteriser), a
// QSvgGenerator or a QPdfWriter.

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QSize>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "render/display_list.h"
#include "session/export_file.h"

class QIODevice;
class QWidget;

namespace quillon {

/// Everything an export draws, taken from the plot window.
struct PlotPicture {
  struct Text {
    QRectF rect;  ///< logical pixels of the client area
    QString text;
    QFont font;
    QColor color;
    int alignment = 0;  ///< Qt::Alignment flags
  };
  const DisplayList* drawing = nullptr;
  QSize size;                   ///< the client area, logical pixels
  double pixels_per_twip = 0;   ///< logical pixels per twip
  double device_ratio = 1;      ///< device pixels per logical pixel (PNG)
  double dots_per_inch = 96;    ///< logical pixels per inch (text size, page size)
  QColor background{Qt::white};
  std::vector<Text> labels;
};

/// Writes `picture` in `format` to `device` (open for writing). Returns "" or
/// the reason it failed.
std::string WritePlotPicture(const PlotPicture& picture, ExportFormat format, QIODevice& device);

/// Writes `picture` to the file `path` through a ReplacingFile: complete or
/// not at all. Returns "" or the reason (strerror text).
std::string ExportPlotPicture(const PlotPicture& picture, ExportFormat format, const std::string& path);

/// The save dialog as a modal QFileDialog owned by a window. The default
/// suffix follows the chosen file type, so "plot" becomes "plot.svg" when
/// SVG is chosen.
class QtSaveDialog final : public SaveDialog {
 public:
  explicit QtSaveDialog(QWidget* owner) : owner_(owner) {}
  std::optional<std::string> AskFileName(const std::string& title, const std::string& proposed,
                                         const std::string& filters) override;

 private:
  QWidget* owner_;
};

}  // namespace quillon
