#include "qt/print_commands.h"

#include <QPainter>
#include <QRectF>
#include <QWidget>

#include "qt/plot_export.h"
#include "qt/plot_window.h"
#include "qt/printer.h"

namespace quillon {

void PrintPlotWindow(PlotWindow& window, const SharedState& state, MessageSink& messages, SaveDialog& dialog,
                     InstalledPrinters& installed) {
  // The picture is drawn again at the printer's resolution, not enlarged
  // from the screen.
  const QSizeF picture(window.ClientArea()->size());
  const auto draw = [&window](QPainter& painter, const QRectF& target) { window.RenderClientArea(painter, target); };
  QPrinter& printer = CurrentQtPrinter().Printer();
  std::optional<PrintFailure> failure;
  const std::optional<std::size_t> printers = installed.Count();
  if (HasNoDestination(printer) && printers && *printers == 0) {
    const std::optional<std::string> file =
        dialog.AskFileName(kPrintToFileDialogTitle, ProposedFilePath(state.FitsDirectory, "plot.pdf"), kPdfFilter);
    if (!file || file->empty()) return;
    failure = PrintOnePageToFile(printer, *file, picture, draw);
  } else {
    failure = PrintOnePage(printer, picture, draw);
  }
  if (failure) messages.ShowMessage(PrintFailureReport(state, *failure));
}

void SetUpPrinter(PlotWindow& window, MessageSink& messages) {
  QtCurrentPrinter& printer = CurrentQtPrinter();
  QtInstalledPrinters installed(printer);
  QtPrinterDialogFactory dialogs(&window);
  PrintSetupCommand(printer, installed, dialogs, messages);
}

void ExportPlotWindow(PlotWindow& window, const SharedState& state, MessageSink& messages, SaveDialog& dialog) {
  const std::optional<std::string> file =
      dialog.AskFileName(kExportDialogTitle, ProposedFilePath(state.FitsDirectory, "plot.png"), kExportFilters);
  if (!file || file->empty()) return;
  const std::optional<ExportFormat> format = ExportFormatForPath(*file);
  if (!format) {
    messages.ShowMessage(ExportFormatMessage(*file));
    return;
  }
  const std::string failure = ExportPlotPicture(window.Picture(), *format, *file);
  if (!failure.empty()) messages.ShowMessage(ExportFailureMessage(*file, failure));
}

}  // namespace quillon
