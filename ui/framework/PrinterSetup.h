#pragma once

class QPrinter;
class QWidget;

// The one printer of the application: chosen by "Print Setting", used by every print job.
QPrinter& applicationPrinter();
// The printer set-up dialog; changes stay for the rest of the run.
void runPrinterSetup(QWidget* parent);
