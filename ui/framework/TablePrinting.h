#pragma once

#include <functional>

#include "ui/framework/TablePage.h"

class Clock;
class MessageSink;
class QPrinter;
class QWidget;

// Printing of the tables: every job and every preview is one page, drawn by
// paintTablePage from a description taken when the page is drawn. The jobs go to the
// application's printer, the one "Print Setting" sets up.
using TableSource = std::function<TablePrintout()>;

// Draws one page on an already configured printer; false when the printer could not be
// opened (nothing is reported then).
bool printTable(QPrinter& printer, const TablePrintout& table, int64_t now);

// Whether a job on `printer` has somewhere to go: a named printer, an output file, or the
// system's default printer, which a printer without either takes.
bool findDestination(QPrinter& printer);

// With the print dialog; a cancelled dialog prints nothing and returns false.
bool printWithDialog(QWidget* parent, const TableSource& source, const Clock& clock);
// Straight to the printer in use without a dialog. When the machine has no printer at
// all the user is told so instead of the job vanishing.
bool printDirect(const TableSource& source, const Clock& clock, MessageSink& messages);
// The preview window with the page as it would print.
void printPreview(QWidget* parent, const TableSource& source, const Clock& clock);

// The text shown when a print without dialog finds no printer.
inline constexpr const char* kNoPrinterText = "No printer is installed.";
