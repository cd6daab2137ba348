#pragma once

#include <functional>

#include "ui/history/TablePage.h"

class Clock;
class MessageSink;
class QPrinter;
class QWidget;

// Printing of the tables: every job and every preview is one page, drawn by
// paintTablePage from a description taken when the page is drawn.
using TableSource = std::function<TablePrintout()>;

// The application's printer: what "Print Setting" sets up and every later print uses.
// Lives until the application object is destroyed.
QPrinter& sharedPrinter();

// The printer set-up dialog on the shared printer.
void showPrintSetting(QWidget* parent);

// Draws one page on an already configured printer; false when the printer could not be
// opened (nothing is reported then).
bool printTable(QPrinter& printer, const TablePrintout& table, int64_t now);

// With the print dialog; a cancelled dialog prints nothing and returns false.
bool printWithDialog(QWidget* parent, const TableSource& source, const Clock& clock);
// Straight to the printer in use without a dialog. When the machine has no printer at
// all the user is told so instead of the job vanishing.
bool printDirect(const TableSource& source, const Clock& clock, MessageSink& messages);
// The preview window with the page as it would print.
void printPreview(QWidget* parent, const TableSource& source, const Clock& clock);

// The text shown when a print without dialog finds no printer.
inline constexpr const char* kNoPrinterText = "No printer is installed.";
