#pragma once

class MessageSink;
class QPrinter;
class QWidget;
struct PrinterChoice;

// The one printer of the application: chosen by "Print Setting", used by every print job,
// with or without the print dialog, and by the preview.
QPrinter& applicationPrinter();

// Where `printer` stands: its printer (the system's default one while none was chosen),
// paper size and orientation.
PrinterChoice choiceOf(const QPrinter& printer);
void applyChoice(QPrinter& printer, const PrinterChoice& choice);

// "Print Setting": the printer set-up dialog over the application printer; what OK chose
// stays for the rest of the run. A machine without any printer gets the message
// "No printer is installed." instead.
void runPrinterSetup(QWidget* parent, MessageSink& messages);
