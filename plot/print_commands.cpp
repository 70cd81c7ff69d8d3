#include "plot/print_commands.h"

namespace quillon {

// Placeholders until printing lands.
void PrintPlotWindow(frmPlot_Spectra&, const SharedState&, MessageSink&) {}
void SetUpPrinter(frmPlot_Spectra&, MessageSink&) {}

}  // namespace quillon
