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

// The history document holds nothing: both panes read the recorder's day or month table.
WindowKind* makeHistoryKind(Recorder& recorder, const HistoryWindowKind& kind, QObject* parent) {
    return new WindowKind([] { return new Document; },
                          [&recorder, &kind] { return new HistoryWindow(recorder, kind); },
                          [&recorder, &kind] { return new HistoryTableView(recorder, kind.table); },
                          parent);
}

}  // namespace

WindowKind* makeHistoryByDaysKind(Recorder& recorder, QObject* parent) {
    return makeHistoryKind(recorder, kHistoryByDays, parent);
}

WindowKind* makeHistoryByMonthsKind(Recorder& recorder, QObject* parent) {
    return makeHistoryKind(recorder, kHistoryByMonths, parent);
}

WindowKind* makeRealTimeKind(Recorder& recorder, std::function<void()> opened, QObject* parent) {
    return new WindowKind(
        [&recorder, opened = std::move(opened)] { return new RealTimeDocument(recorder, opened); },
        [] { return new RealTimeWindow; }, [] { return new LiveListView; }, parent);
}

WindowKind* makeArchiveKind(Recorder& recorder, std::function<std::string()> archivePath,
                            QObject* parent) {
    return new WindowKind(
        [&recorder, archivePath = std::move(archivePath)] {
            return new ArchiveDocument(recorder, archivePath);
        },
        [] { return new ArchiveWindow; }, [] { return new ArchiveChartView; }, parent);
}
