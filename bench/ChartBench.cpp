// The real-time chart's work after every 5-second sample: reload the series and repaint.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <QMdiArea>
#include <QPainter>
#include <QTreeWidget>
#include <array>
#include <filesystem>
#include <memory>
#include <vector>

#include "ChartData.h"
#include "core/acquisition/Recorder.h"
#include "core/base/Clock.h"
#include "core/base/MessageSink.h"
#include "core/config/DastConfig.h"
#include "core/device/SerialPort.h"
#include "core/store/SampleStore.h"
#include "ui/framework/Command.h"
#include "ui/framework/Document.h"
#include "ui/framework/WindowKind.h"
#include "ui/realtime/LiveListView.h"
#include "ui/realtime/PowerChartView.h"
#include "ui/realtime/RealTimeWindow.h"
#include "ui/shell/WindowKinds.h"
#include "ui/widgets/PowerChart.h"

namespace {

// One repaint of the window as the view does it.
void paintWindow(PowerChart& chart, QImage& window) {
    window.fill(QColor(240, 240, 240));
    QPainter painter(&window);
    chart.paint(painter, kPaintTime);
    painter.end();
    benchmark::DoNotOptimize(window.constBits());
}

// loadSeries + full paint at the 6-hour scope (4,320 points) on a 1,600 x 900 window.
void BM_LoadAndPaintSixHours(benchmark::State& state) {
    const auto store = busyStore();
    ChannelTable live{};
    DastConfig config = DastConfig::defaults();
    config.scopeIndex = 6;
    PowerChart chart;
    chart.resize(1600, 900);
    QImage window(1600, 900, QImage::Format_RGB32);
    for (auto _ : state) {
        chart.loadSeries(kTotalRecord, *store, live, config.scope());
        paintWindow(chart, window);
    }
}
BENCHMARK(BM_LoadAndPaintSixHours)->Unit(benchmark::kMillisecond);

// The archive window's day chart: a recorded day of 17,280 slots loaded and painted the same
// way, on the same 1,600 x 900.
void BM_LoadAndPaintDay(benchmark::State& state) {
    const auto store = busyStore();
    std::array<std::vector<int32_t>, kChannelRecords> rings;
    for (int k = 0; k < kChannelRecords; ++k)
        rings[k].assign(store->samples[k], store->samples[k] + kRingSlots);
    PowerChart chart;
    chart.resize(1600, 900);
    QImage window(1600, 900, QImage::Format_RGB32);
    const QString title = QStringLiteral("The Channel 03 Power on 2026-05-01 (Watt)");
    for (auto _ : state) {
        chart.loadDay(3, rings, title);
        paintWindow(chart, window);
    }
}
BENCHMARK(BM_LoadAndPaintDay)->Unit(benchmark::kMillisecond);

// The same with the copy of the whole store the view takes under the data lock.
void BM_CopyLoadAndPaintSixHours(benchmark::State& state) {
    const auto store = busyStore();
    auto copy = std::make_unique<SampleStore>();
    ChannelTable live{};
    DastConfig config = DastConfig::defaults();
    config.scopeIndex = 6;
    PowerChart chart;
    chart.resize(1600, 900);
    QImage window(1600, 900, QImage::Format_RGB32);
    for (auto _ : state) {
        *copy = *store;
        chart.loadSeries(kTotalRecord, *copy, live, config.scope());
        paintWindow(chart, window);
    }
}
BENCHMARK(BM_CopyLoadAndPaintSixHours)->Unit(benchmark::kMillisecond);

// The bars of all channels, the chart's start-up view.
void BM_LoadAndPaintAllChannels(benchmark::State& state) {
    const auto store = busyStore();
    ChannelTable live{};
    for (int k = 1; k < kChannelRecords; ++k) live[k].power = 250u * k;
    const DastConfig config = DastConfig::defaults();
    PowerChart chart;
    chart.resize(1600, 900);
    QImage window(1600, 900, QImage::Format_RGB32);
    for (auto _ : state) {
        chart.loadSeries(16, *store, live, config.scope());
        paintWindow(chart, window);
    }
}
BENCHMARK(BM_LoadAndPaintAllChannels)->Unit(benchmark::kMillisecond);

// No serial ports at all and nobody to read a message: the windows run as without a device.
class NoPorts final : public SerialPorts {
public:
    std::unique_ptr<SerialPort> open(int) override { return nullptr; }
};
class NoMessages final : public MessageSink {
public:
    void show(const std::string&) override {}
};

// The GUI thread's work for one sample with all three windows open on a 1,600 x 900 area:
// the new tables (every window's update, the chart's reload among them) and the sample from
// the meter (power column), then one synchronous repaint of everything.
void BM_SampleNotificationPair(benchmark::State& state) {
    char dirTemplate[] = "/tmp/kelvo-chart-bench-XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);
    NoPorts ports;
    NoMessages messages;
    {
        Recorder recorder(ports, messages, SystemClock::instance());
        recorder.loadConfig(dir);  // no file: the defaults
        recorder.setScopeIndex(6);
        QMdiArea area;
        area.resize(1600, 900);
        area.show();
        std::unique_ptr<WindowKind> kinds[] = {
            std::unique_ptr<WindowKind>(makeHistoryByDaysKind(recorder, nullptr)),
            std::unique_ptr<WindowKind>(makeHistoryByMonthsKind(recorder, nullptr)),
            std::unique_ptr<WindowKind>(makeRealTimeKind(recorder, {}, nullptr))};
        std::vector<Document*> documents;
        for (auto& kind : kinds) documents.push_back(kind->openDocument(&area));
        area.tileSubWindows();
        auto* frame = qobject_cast<RealTimeWindow*>(WindowKind::windowsOf(documents[2]).value(0));
        frame->showMaximized();
        frame->channelTree()->setCurrentItem(
            frame->channelTree()->findItems(QStringLiteral("Total"), Qt::MatchExactly).first());
        QApplication::processEvents();

        const int reloads = frame->chartView()->reloads();
        for (auto _ : state) {
            for (Document* document : documents) document->updateAllViews(nullptr);
            frame->listView()->onSampleRecorded(SampleOrigin::Meter);
            area.repaint();
        }
        state.counters["chart_reloads"] = benchmark::Counter(
            frame->chartView()->reloads() - reloads, benchmark::Counter::kAvgIterations);
        for (auto& kind : kinds) kind->closeAllDocuments();
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SampleNotificationPair)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // fonts for the labels
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
