#include "ui/framework/TablePrinting.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include "core/base/Clock.h"
#include "core/base/MessageSink.h"
#include "ui/framework/PrinterSetup.h"

bool findDestination(QPrinter& printer) {
    if (!printer.printerName().isEmpty()) return true;
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return true;
    // Without a printer queue the print system starts on an unnamed PDF output, which would
    // silently print nothing.
    const QPrinterInfo fallback = QPrinterInfo::defaultPrinter();
    if (fallback.isNull()) return false;
    printer.setOutputFormat(QPrinter::NativeFormat);
    printer.setPrinterName(fallback.printerName());
    return !printer.printerName().isEmpty();
}

bool printTable(QPrinter& printer, const TablePrintout& table, int64_t now) {
    printer.setFromTo(1, 1);
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    // The painter's device units start at the printable area's top-left corner.
    const QSize printable(printer.width(), printer.height());
    paintTablePage(painter, printable, table, now);
    return painter.end();
}

bool printWithDialog(QWidget* parent, const TableSource& source, const Clock& clock) {
    QPrinter& printer = applicationPrinter();
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(1, 1);
    printer.setFromTo(1, 1);
    if (dialog.exec() != QDialog::Accepted) return false;
    return printTable(printer, source(), clock.now());
}

bool printDirect(const TableSource& source, const Clock& clock, MessageSink& messages) {
    QPrinter& printer = applicationPrinter();
    if (!findDestination(printer)) {
        messages.show(kNoPrinterText);
        return false;
    }
    return printTable(printer, source(), clock.now());
}

void printPreview(QWidget* parent, const TableSource& source, const Clock& clock) {
    QPrinter& printer = applicationPrinter();
    printer.setFromTo(1, 1);
    QPrintPreviewDialog preview(&printer, parent);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&](QPrinter* target) {
                         QPainter painter(target);
                         paintTablePage(painter, QSize(target->width(), target->height()), source(),
                                        clock.now());
                     });
    preview.exec();
}
