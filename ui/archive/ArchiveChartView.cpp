#include "ui/archive/ArchiveChartView.h"

#include <QPainter>

#include "ui/archive/ArchiveDocument.h"

static_assert(kNoSample == PowerChart::kGap, "the archive's gaps are the chart's gaps");

ArchiveChartView::ArchiveChartView(QWidget* parent) : View(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ArchiveDocument* ArchiveChartView::archiveDocument() const {
    return qobject_cast<ArchiveDocument*>(document());
}

void ArchiveChartView::loadChart(const ArchiveDocument& document, PowerChart& chart) {
    const uint16_t channel = document.selectedChannel();
    QString name;
    if (channel == kTotalRecord) {
        name = QStringLiteral("Total");
    } else if (channel >= kAllChannels) {
        name = QStringLiteral("All Channels (average)");
    } else {
        // Consumption (14) and Solar (15) are numbered 13 and 14, as in the channel tree.
        name = QStringLiteral("Channel %1")
                   .arg(channel <= kLastLoad ? channel : channel - 1, 2, 10, QLatin1Char('0'));
    }
    const QString title = QStringLiteral("The %1 Power on %2 (Watt)")
                              .arg(name, document.date().toString(Qt::ISODate));
    std::array<std::vector<int32_t>, kChannelRecords> rings = document.day().power;
    if (rings[0].empty()) {
        for (auto& ring : rings) ring.assign(17280, kNoSample);
    }
    chart.loadDay(channel, rings, title);
}

void ArchiveChartView::onDocumentChanged(View*) {
    if (ArchiveDocument* doc = archiveDocument()) loadChart(*doc, m_chart);
    update();
}

void ArchiveChartView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    m_chart.resize(width(), height());
}

void ArchiveChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const ArchiveDocument* doc = archiveDocument();
    if (!doc) return;
    const int64_t dayEnd = doc->day().start + 5 * static_cast<int64_t>(doc->day().slotCount);
    m_chart.paint(painter, dayEnd);
}
