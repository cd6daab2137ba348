// The real-time chart's work after every 5-second sample: reload the series and repaint.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>

#include "app/Configuration.h"
#include "store/SampleStore.h"
#include "ui/realtime/PowerChart.h"

namespace {

constexpr int64_t kPaintTime = 1777644000;

std::unique_ptr<SampleStore> busyStore() {
    auto store = std::make_unique<SampleStore>();
    for (int ring = 0; ring < kRingCount; ++ring)
        for (int slot = 0; slot < kRingSlots; ++slot)
            store->samples[ring][slot] =
                static_cast<int32_t>(1500 + 1400 * std::sin(slot / 97.0 + ring));
    store->writeIndex = 1234;
    store->count = kRingSlots;
    return store;
}

// LoadSeries + full paint at the 6-hour scope (4,320 points) on a 1,600 x 900 window.
void BM_LoadAndPaintSixHours(benchmark::State& state) {
    const auto store = busyStore();
    LiveReading live{};
    Configuration config = Configuration::defaults();
    config.scopeIndex = 6;
    PowerChart chart;
    chart.resize(1600, 900);
    QImage window(1600, 900, QImage::Format_RGB32);
    for (auto _ : state) {
        chart.loadSeries(kTotalRecord, *store, live, config);
        window.fill(QColor(240, 240, 240));
        QPainter painter(&window);
        chart.paint(painter, kPaintTime);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
}
BENCHMARK(BM_LoadAndPaintSixHours)->Unit(benchmark::kMillisecond);

// The same with the copy of the whole store the view takes under the data lock.
void BM_CopyLoadAndPaintSixHours(benchmark::State& state) {
    const auto store = busyStore();
    auto copy = std::make_unique<SampleStore>();
    LiveReading live{};
    Configuration config = Configuration::defaults();
    config.scopeIndex = 6;
    PowerChart chart;
    chart.resize(1600, 900);
    QImage window(1600, 900, QImage::Format_RGB32);
    for (auto _ : state) {
        *copy = *store;
        chart.loadSeries(kTotalRecord, *copy, live, config);
        window.fill(QColor(240, 240, 240));
        QPainter painter(&window);
        chart.paint(painter, kPaintTime);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
}
BENCHMARK(BM_CopyLoadAndPaintSixHours)->Unit(benchmark::kMillisecond);

// The bars of all channels, the chart's start-up view.
void BM_LoadAndPaintAllChannels(benchmark::State& state) {
    const auto store = busyStore();
    LiveReading live{};
    for (int k = 1; k < kChannelRecords; ++k) live[k].power = 250u * k;
    const Configuration config = Configuration::defaults();
    PowerChart chart;
    chart.resize(1600, 900);
    QImage window(1600, 900, QImage::Format_RGB32);
    for (auto _ : state) {
        chart.loadSeries(16, *store, live, config);
        window.fill(QColor(240, 240, 240));
        QPainter painter(&window);
        chart.paint(painter, kPaintTime);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
}
BENCHMARK(BM_LoadAndPaintAllChannels)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // fonts for the labels
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
