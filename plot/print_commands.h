#pragma once
// The plot window's two print commands, File "Print" and "Print Setup ...".

#include "shell/shared_state.h"
#include "shell/window_services.h"

namespace quillon {

class frmPlot_Spectra;

/// File, Print: prints the plot window's client area (its drawing and
/// visible controls) as one page on the current printer. A failure shows the
/// run-time error report through `messages`; nothing is retried.
void PrintPlotWindow(frmPlot_Spectra& window, const SharedState& state, MessageSink& messages);

/// File, Print Setup ...: the printer dialog, owned by the plot window; a
/// confirmed choice becomes the current printer for every later Print.
void SetUpPrinter(frmPlot_Spectra& window, MessageSink& messages);

}  // namespace quillon
