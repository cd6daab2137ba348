#include "ui/framework/PrinterSetup.h"

#include <QPageSetupDialog>
#include <QPrinter>

QPrinter& applicationPrinter() {
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

void runPrinterSetup(QWidget* parent) {
    QPageSetupDialog dialog(&applicationPrinter(), parent);
    dialog.exec();
}
