#include "ui/history/HistorySnapshot.h"

#include "core/acquisition/Recorder.h"

HistorySnapshot HistorySnapshot::take(const Recorder& recorder, HistoryTable table) {
    HistorySnapshot out;
    if (table == HistoryTable::Days) {
        const DayTable days = recorder.days();
        out.consumption.assign(std::begin(days.consumption), std::end(days.consumption));
        out.solar.assign(std::begin(days.solar), std::end(days.solar));
    } else {
        const MonthTable months = recorder.months();
        out.consumption.assign(std::begin(months.consumption), std::end(months.consumption));
        out.solar.assign(std::begin(months.solar), std::end(months.solar));
    }
    return out;
}
