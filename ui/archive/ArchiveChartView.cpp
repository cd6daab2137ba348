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
        name =
            QStringLiteral("Channel %1").arg(shownChannelNumber(channel), 2, 10, QLatin1Char('0'));
    }
    const QString title = QStringLiteral("The %1 Power on %2 (Watt)")
                              .arg(name, document.date().toString(Qt::ISODate));
    // A day that could not be read is drawn as a day without samples.
    static const auto unread = [] {
        std::array<std::vector<int32_t>, kChannelRecords> rings;
        for (auto& ring : rings) ring.assign(17280, kNoSample);
        return rings;
    }();
    const auto& power = document.day().power;
    chart.loadDay(channel, power[0].empty() ? unread : power, title);
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
