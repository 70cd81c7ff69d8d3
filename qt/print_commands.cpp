#include "qt/print_commands.h"

#include <QPainter>
#include <QRectF>
#include <QWidget>

#include "qt/plot_export.h"
#include "qt/printer.h"

namespace quillon {

void PrintPlotWindow(QSizeF client_size, const ClientAreaPainter& draw, const SharedState& state,
                     MessageSink& messages, SaveDialog& dialog, InstalledPrinters& installed) {
  // The picture is drawn again at the printer's resolution, not enlarged
  // from the screen.
  const QSizeF picture = client_size;
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

void SetUpPrinter(QWidget* owner, MessageSink& messages) {
  QtCurrentPrinter& printer = CurrentQtPrinter();
  QtInstalledPrinters installed(printer);
  QtPrinterDialogFactory dialogs(owner);
  PrintSetupCommand(printer, installed, dialogs, messages);
}

void ExportPlotWindow(const std::function<PlotPicture()>& picture, const SharedState& state, MessageSink& messages,
                      SaveDialog& dialog) {
  const std::optional<std::string> file =
      dialog.AskFileName(kExportDialogTitle, ProposedFilePath(state.FitsDirectory, "plot.png"), kExportFilters);
  if (!file || file->empty()) return;
  const std::optional<ExportFormat> format = ExportFormatForPath(*file);
  if (!format) {
    messages.ShowMessage(ExportFormatMessage(*file));
    return;
  }
  const std::string failure = ExportPlotPicture(picture(), *format, *file);
  if (!failure.empty()) messages.ShowMessage(ExportFailureMessage(*file, failure));
}

}  // namespace quillon
