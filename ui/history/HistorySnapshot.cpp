#include "ui/history/HistorySnapshot.h"

#include <mutex>

#include "core/acquisition/MonitorState.h"

HistorySnapshot HistorySnapshot::take(const MonitorState& state, HistoryTable table) {
    HistorySnapshot out;
    std::lock_guard lock(state.dataLock);
    if (table == HistoryTable::Days) {
        out.consumption.assign(std::begin(state.days.consumption),
                               std::end(state.days.consumption));
        out.solar.assign(std::begin(state.days.solar), std::end(state.days.solar));
    } else {
        out.consumption.assign(std::begin(state.months.consumption),
                               std::end(state.months.consumption));
        out.solar.assign(std::begin(state.months.solar), std::end(state.months.solar));
    }
    return out;
}
