#include "ui/history/TablePrinting.h"

#include <QCoreApplication>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include "app/Clock.h"
#include "app/MessageSink.h"

namespace {

QPrinter* g_printer = nullptr;

void dropSharedPrinter() {
    delete g_printer;
    g_printer = nullptr;
}

// A printer with no name and native output has nowhere to go; take the system's default.
bool hasDestination(QPrinter& printer) {
    if (printer.outputFormat() != QPrinter::NativeFormat) return true;
    if (!printer.printerName().isEmpty()) return true;
    const QPrinterInfo fallback = QPrinterInfo::defaultPrinter();
    if (fallback.isNull()) return false;
    printer.setPrinterName(fallback.printerName());
    return true;
}

}  // namespace

QPrinter& sharedPrinter() {
    if (g_printer == nullptr) {
        g_printer = new QPrinter(QPrinter::HighResolution);
        // Deleted with the application object, while the print system is still up.
        qAddPostRoutine(dropSharedPrinter);
    }
    return *g_printer;
}

void showPrintSetting(QWidget* parent) {
    QPageSetupDialog dialog(&sharedPrinter(), parent);
    dialog.setWindowTitle(QStringLiteral("Print Setup"));
    dialog.exec();
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
    QPrinter& printer = sharedPrinter();
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(1, 1);
    printer.setFromTo(1, 1);
    if (dialog.exec() != QDialog::Accepted) return false;
    return printTable(printer, source(), clock.now());
}

bool printDirect(const TableSource& source, const Clock& clock, MessageSink& messages) {
    QPrinter& printer = sharedPrinter();
    if (!hasDestination(printer)) {
        messages.show(kNoPrinterText);
        return false;
    }
    return printTable(printer, source(), clock.now());
}

void printPreview(QWidget* parent, const TableSource& source, const Clock& clock) {
    QPrinter& printer = sharedPrinter();
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
