#pragma once
// The plot as a picture: a recorded drawing and its axis labels at the
// places the plot window gives them. The plot window exports and prints
// through it, and quillon-render makes the same picture without a window.

#include <QFont>
#include <QSize>

#include "qt/plot_export.h"
#include "render/display_list.h"
#include "render/renderer.h"

namespace quillon {

/// Fixed size of an axis label, twips: the renderer sets only its place and
/// caption, and these are wide enough for their six-character texts.
struct AxisLabelSize {
  int width, height;
};

/// The size the plot window gives `label`.
const AxisLabelSize& AxisLabelSizeOf(PlotLabel label);

/// The plot window's font, which its axis labels and controls take: a bold
/// 8.25-point sans serif.
QFont PlotWindowFont();

/// Where the plot is shown: its client area in logical pixels, the logical
/// pixels per inch, the device pixels per logical pixel and the axis
/// labels' font.
struct PictureMetrics {
  QSize area;
  double dots_per_inch = 96;
  double device_ratio = 1;
  QFont label_font;
};

/// The picture of `drawing` (whose frame is `frame`): each axis label with a
/// caption at its recorded place, in black, left-aligned and centred
/// vertically, as the window's labels show it; the picture ends three
/// pixels below the frame and the labels, within the area.
PlotPicture PictureOfDrawing(const DisplayList& drawing, const PlotFrame& frame, const PictureMetrics& metrics);

}  // namespace quillon
