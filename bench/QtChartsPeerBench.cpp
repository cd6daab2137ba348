// The same charts drawn with QtCharts, as a yardstick for our own painter: the six hours of the
// real-time chart (4,320 points) and the archive window's day (17,280 points), each reloaded
// and painted whole on 1,600 x 900 like BM_LoadAndPaintSixHours and BM_LoadAndPaintDay.
// Built only when Qt's charts module is installed; the chart is set up as ours is drawn: a
// title, a black plot with a one-pixel yellow curve, a time axis and a watt axis with six grid
// lines each, no legend, no animation, no antialiasing.
#include <benchmark/benchmark.h>

#include <QChart>
#include <QCoreApplication>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsScene>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>
#include <algorithm>

#include "ChartData.h"
#include "core/store/ChannelRecord.h"
#include "ui/widgets/PowerChart.h"

namespace {

class QtChartsPeer {
public:
    explicit QtChartsPeer(const QString& title) : m_chart(new QChart) {
        m_chart->setTitle(title);
        m_chart->legend()->hide();
        m_chart->setAnimationOptions(QChart::NoAnimation);
        m_chart->setPlotAreaBackgroundBrush(Qt::black);
        m_chart->setPlotAreaBackgroundVisible(true);
        m_series->setPen(QPen(QColor(225, 225, 0), 1));
        m_chart->addSeries(m_series);
        m_time->setFormat(QStringLiteral("HH:mm:ss"));
        m_time->setTickCount(6);
        m_watts->setTickCount(6);
        m_watts->setLabelFormat(QStringLiteral("%d"));
        m_time->setGridLineColor(QColor(0, 230, 0));
        m_watts->setGridLineColor(QColor(0, 230, 0));
        m_chart->addAxis(m_time, Qt::AlignBottom);
        m_chart->addAxis(m_watts, Qt::AlignLeft);
        m_series->attachAxis(m_time);
        m_series->attachAxis(m_watts);
        m_scene.addItem(m_chart);  // the scene owns the chart
        m_chart->setGeometry(0, 0, 1600, 900);
    }

    // Replaces the curve with the `count` samples of `ring` from slot `first` on, 5 s apart
    // and ending at kPaintTime, and repaints everything.
    void loadAndPaint(const int32_t* ring, int first, int count, QImage& window) {
        QList<QPointF> points;
        points.reserve(count);
        int32_t largest = 0;
        for (int i = 0; i < count; ++i) {
            const int32_t w = ring[(first + i) % kRingSlots];
            largest = std::max(largest, w);
            points.append(QPointF(static_cast<double>(kPaintTime - 5 * (count - i)) * 1000, w));
        }
        m_series->replace(points);
        m_time->setRange(QDateTime::fromSecsSinceEpoch(kPaintTime - 5 * count),
                         QDateTime::fromSecsSinceEpoch(kPaintTime));
        m_watts->setRange(0, PowerChart::settleFullScale(100, static_cast<uint32_t>(largest)));
        QCoreApplication::sendPostedEvents();  // the chart's deferred layout, if any
        window.fill(QColor(240, 240, 240));
        QPainter painter(&window);
        m_scene.render(&painter, QRectF(0, 0, 1600, 900), QRectF(0, 0, 1600, 900));
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }

private:
    QGraphicsScene m_scene;
    QChart* m_chart;
    QLineSeries* m_series = new QLineSeries;  // owned by the chart once added
    QDateTimeAxis* m_time = new QDateTimeAxis;
    QValueAxis* m_watts = new QValueAxis;
};

// The six hours before the write index of the Total ring, as PowerChart::loadSeries takes them.
void BM_QtChartsLoadAndPaintSixHours(benchmark::State& state) {
    const auto store = busyStore();
    QtChartsPeer peer(QStringLiteral("The Channel Total Real-Time Power (Watt)"));
    QImage window(1600, 900, QImage::Format_RGB32);
    const int first = (store->writeIndex - 4320 + kRingSlots) % kRingSlots;
    for (auto _ : state) peer.loadAndPaint(store->samples[kTotalRecord], first, 4320, window);
}
BENCHMARK(BM_QtChartsLoadAndPaintSixHours)->Unit(benchmark::kMillisecond);

void BM_QtChartsLoadAndPaintDay(benchmark::State& state) {
    const auto store = busyStore();
    QtChartsPeer peer(QStringLiteral("The Channel 03 Power on 2026-05-01 (Watt)"));
    QImage window(1600, 900, QImage::Format_RGB32);
    for (auto _ : state) peer.loadAndPaint(store->samples[3], 0, kRingSlots, window);
}
BENCHMARK(BM_QtChartsLoadAndPaintDay)->Unit(benchmark::kMillisecond);

}  // namespace
