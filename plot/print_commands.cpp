#include "plot/print_commands.h"

#include <QPainter>
#include <QRectF>
#include <QWidget>

#include "plot/plot_window.h"
#include "plot/printer_setup.h"
#include "plot/qt_printer.h"

namespace quillon {

void PrintPlotWindow(frmPlot_Spectra& window, const SharedState& state, MessageSink& messages) {
  // The picture is drawn again at the printer's resolution, not enlarged
  // from the screen.
  const QSizeF picture(window.ClientArea()->size());
  const std::optional<PrintFailure> failure =
      PrintOnePage(CurrentQtPrinter().Printer(), picture,
                   [&window](QPainter& painter, const QRectF& target) { window.RenderClientArea(painter, target); });
  if (failure) messages.ShowMessage(PrintFailureReport(state, *failure));
}

void SetUpPrinter(frmPlot_Spectra& window, MessageSink& messages) {
  QtCurrentPrinter& printer = CurrentQtPrinter();
  QtInstalledPrinters installed(printer);
  QtPrinterDialogFactory dialogs(&window);
  PrintSetupCommand(printer, installed, dialogs, messages);
}

}  // namespace quillon
