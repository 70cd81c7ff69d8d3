#pragma once
// The plot window's file commands: "Print", "Print Setup ..." and "Export ...".

#include <QSizeF>
#include <functional>

#include "qt/plot_export.h"
#include "session/export_file.h"
#include "session/printer_setup.h"
#include "session/shared_state.h"
#include "session/window_services.h"

namespace quillon {

/// Draws the plot window's client area into a painter's target rectangle.
using ClientAreaPainter = std::function<void(QPainter& painter, const QRectF& target)>;

/// File, Print: prints the plot window's client area (its drawing and
/// visible controls, `client_size` logical pixels, drawn by `draw`) as one
/// page on the current printer. A failure shows the
/// run-time error report through `messages`; nothing is retried.
///
/// Where no printer is installed at all (`installed` counts none) and the
/// current printer has no PDF file either, the page goes to a PDF file
/// instead: `dialog` asks for its name, proposing "plot.pdf" in the
/// spectrum's folder (FitsDirectory), and the page is printed there exactly
/// as to paper; cancelling does nothing.
void PrintPlotWindow(QSizeF client_size, const ClientAreaPainter& draw, const SharedState& state,
                     MessageSink& messages, SaveDialog& dialog, InstalledPrinters& installed);

/// File, Print Setup ...: the printer dialog, owned by `owner` (the plot window); a
/// confirmed choice becomes the current printer for every later Print.
void SetUpPrinter(QWidget* owner, MessageSink& messages);

/// File, Export ...: `dialog` asks for a file, proposing "plot.png" in the
/// spectrum's folder; its extension chooses PNG, SVG or PDF. An unknown
/// extension or a failed write shows one message and writes nothing;
/// cancelling does nothing. `picture` gives the plot as it stands once the
/// file is chosen.
void ExportPlotWindow(const std::function<PlotPicture()>& picture, const SharedState& state, MessageSink& messages,
                      SaveDialog& dialog);

}  // namespace quillon
