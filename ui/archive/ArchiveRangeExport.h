#pragma once

#include <QDate>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "core/archive/ArchiveExport.h"

class QWidget;

// What the user chose for a range export: first and last day, interval, file.
struct RangeChoice {
    QDate from;
    QDate to;
    uint32_t intervalSeconds = 5;
    QString path;
};

// Asks for the range and the interval (a small dialog, starting at `day` and the data
// export's interval), then for the file. Nothing when the user cancelled either.
std::optional<RangeChoice> askRangeExport(QWidget* parent, const QDate& day,
                                          uint32_t exportInterval);

// Writes the range on a worker thread while a progress dialog, which can cancel it, keeps the
// window responsive, in an event loop of its own. Says the outcome in the message box;
// returns it.
ExportOutcome runRangeExport(QWidget* parent, const std::string& archivePath,
                             const RangeChoice& choice);

// Whether a range export's own event loop is running. Closing its window from inside that
// loop would destroy what the export still uses: the way out cancels it and waits for
// runRangeExport to return.
bool rangeExportRunning();
// Makes every export under way end as its Cancel button would: the part file is removed.
void cancelRangeExports();
