#include "ui/shell/WindowKinds.h"

#include "ui/archive/ArchiveChartView.h"
#include "ui/archive/ArchiveDocument.h"
#include "ui/archive/ArchiveWindow.h"
#include "ui/framework/Document.h"
#include "ui/framework/WindowKind.h"
#include "ui/history/HistoryTableView.h"
#include "ui/history/HistoryWindow.h"
#include "ui/realtime/LiveListView.h"
#include "ui/realtime/RealTimeDocument.h"
#include "ui/realtime/RealTimeWindow.h"

namespace {

// The history document holds nothing: both panes read the state's day and month tables.
WindowKind* makeHistoryKind(MonitorState& state, const HistoryWindowKind& kind, QObject* parent) {
    return new WindowKind(
        [] { return new Document; }, [&state, &kind] { return new HistoryWindow(state, kind); },
        [&state, &kind] { return new HistoryTableView(state, kind.table); }, parent);
}

}  // namespace

WindowKind* makeHistoryByDaysKind(MonitorState& state, QObject* parent) {
    return makeHistoryKind(state, kHistoryByDays, parent);
}

WindowKind* makeHistoryByMonthsKind(MonitorState& state, QObject* parent) {
    return makeHistoryKind(state, kHistoryByMonths, parent);
}

WindowKind* makeRealTimeKind(MonitorState& state, SamplingCycle* cycle,
                             std::function<void()> updateAllWindows, QObject* parent) {
    return new WindowKind([&state, cycle] { return new RealTimeDocument(state, cycle); },
                          [] { return new RealTimeWindow; },
                          [updateAllWindows = std::move(updateAllWindows)] {
                              return new LiveListView(updateAllWindows);
                          },
                          parent);
}

WindowKind* makeArchiveKind(MonitorState& state, std::function<std::string()> archivePath,
                            QObject* parent) {
    return new WindowKind(
        [&state, archivePath = std::move(archivePath)] {
            return new ArchiveDocument(state, archivePath);
        },
        [] { return new ArchiveWindow; }, [] { return new ArchiveChartView; }, parent);
}
