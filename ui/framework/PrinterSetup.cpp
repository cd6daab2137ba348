#include "ui/framework/PrinterSetup.h"

#include <QPrinter>
#include <QPrinterInfo>

#include "core/base/MessageSink.h"
#include "ui/framework/PrinterSetupDialog.h"
#include "ui/framework/TablePrinting.h"

QPrinter& applicationPrinter() {
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

PrinterChoice choiceOf(const QPrinter& printer) {
    PrinterChoice choice;
    choice.printer = printer.printerName();
    if (choice.printer.isEmpty()) choice.printer = QPrinterInfo::defaultPrinterName();
    choice.paper = printer.pageLayout().pageSize();
    choice.orientation = printer.pageLayout().orientation();
    return choice;
}

void applyChoice(QPrinter& printer, const PrinterChoice& choice) {
    // To the printer, not to a file the print dialog may have named. A new printer brings
    // its own defaults: paper and orientation go on top of them.
    printer.setOutputFileName(QString());
    printer.setPrinterName(choice.printer);
    if (choice.paper.isValid()) printer.setPageSize(choice.paper);
    printer.setPageOrientation(choice.orientation);
}

void runPrinterSetup(QWidget* parent, MessageSink& messages) {
    const QStringList printers = QPrinterInfo::availablePrinterNames();
    if (printers.isEmpty()) {
        messages.show(kNoPrinterText);
        return;
    }
    QPrinter& printer = applicationPrinter();
    PrinterSetupDialog dialog(printers, choiceOf(printer), parent);
    if (dialog.exec() == QDialog::Accepted) applyChoice(printer, dialog.choice());
}
