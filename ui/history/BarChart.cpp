#include "ui/history/BarChart.h"

#include <QColor>
#include <QPainter>
#include <algorithm>

#include "ui/framework/LineDrawing.h"
#include "ui/history/MonthNames.h"

const BarChartKind kDaysChart{
    40, 400, "The All Channels Daily Electricity Consumption of the Last 40 days(KWh)", false};
const BarChartKind kMonthsChart{
    12, 120, "The All Channels Monthly Electricity Consumption of the Last 12 months(KWh)", true};

namespace {

const QColor kPlotBackground(240, 240, 240);
const QColor kSolarBar(225, 225, 0);
const QColor kConsumptionBar(255, 0, 0);
const QColor kSolarSwatch(255, 255, 0);
const QColor kConsumptionSwatch(255, 0, 0);

constexpr int kSlot = 10;  // logical units per bar pair

void drawAt(QPainter& painter, QPoint topLeft, const QString& text) {
    painter.drawText(QRect(topLeft, QSize(0, 0)), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                     text);
}

}  // namespace

BarChart::BarChart(const BarChartKind& kind) : m_kind(kind) {
    m_solar.reserve(kind.pairs);
    m_consumption.reserve(kind.pairs);
}

void BarChart::resize(int width, int height) {
    m_width = width;
    m_height = height;
    // The surface is as large as the client area; a client area too small for a plot gets
    // none, so no paint ever maps onto an empty or negative rectangle.
    if (hasPlot())
        m_surface = QImage(width, height, QImage::Format_RGB32);
    else
        m_surface = QImage();
}

int32_t BarChart::settleScale(int32_t scale, uint32_t largest) {
    const int64_t m = largest;
    int64_t s = scale > 0 ? scale : kMinScale;
    while (m < s / 2) s /= 2;
    while (s < m) s *= 2;
    if (s < kMinScale) s = kMinScale;
    return static_cast<int32_t>(s);
}

QString BarChart::pairLabel(int k, int currentMonth) const {
    if (m_kind.monthLabels) return monthLabel(currentMonth, k);
    return QString::number(k + 1);
}

void BarChart::loadSeries(std::span<const int32_t> consumption, std::span<const int32_t> solar) {
    m_solar.clear();
    m_consumption.clear();
    uint32_t largest = 0;
    for (int i = 0; i < m_kind.pairs; ++i) {
        // The tables hold the device's 16-bit counts in 32-bit cells.
        const uint16_t s = i < static_cast<int>(solar.size()) ? static_cast<uint16_t>(solar[i]) : 0;
        const uint16_t c =
            i < static_cast<int>(consumption.size()) ? static_cast<uint16_t>(consumption[i]) : 0;
        m_solar.push_back(s);
        m_consumption.push_back(c);
        largest = std::max<uint32_t>(largest, std::max(s, c));
    }
    // Settled before anything is drawn, so labels and bars of one paint agree.
    m_scale = settleScale(m_scale, largest);
}

std::vector<BarChart::Text> BarChart::texts() const {
    const int w = m_width;
    const int h = m_height;
    std::vector<Text> out;
    out.reserve(11 + m_kind.pairs + 2);

    const int dy = (h - 80) / 10;
    const int step = m_scale / 10;
    for (int k = 0; k <= 10; ++k) {
        const int y = 50 + k * dy;
        out.push_back({QPoint(0, y - 5), QString::number(m_scale - k * step)});
    }
    const int dx = (w - 70) / m_kind.pairs;
    for (int k = 0; k < m_kind.pairs; ++k)
        out.push_back({QPoint(56 + k * dx, h - 22), pairLabel(k, m_month)});
    out.push_back({QPoint(w - 102, 10), QStringLiteral("Solar:")});
    out.push_back({QPoint(w - 152, 30), QStringLiteral("Consumption:")});
    return out;
}

void BarChart::renderPlot() {
    QPainter mem(&m_surface);
    // Anisotropic mapping: logical x 0..Lw spans the plot width, logical y 0..S its height,
    // y growing downwards so that S is the base of every bar.
    mem.setViewport(0, 0, m_width - 70, m_height - 80);
    mem.setWindow(0, 0, m_kind.plotWidth, m_scale);
    const QRectF all(0, 0, m_kind.plotWidth, m_scale);
    mem.fillRect(all, kPlotBackground);

    const QBrush solarBrush(kSolarBar);
    const QBrush consumptionBrush(kConsumptionBar);
    const double base = m_scale;
    for (int k = 0; k < m_kind.pairs; ++k) {
        // In each 10-unit slot: 1 empty, 3 solar, 1 empty, 3 consumption, 2 empty.
        const int x = kSlot * k + 4;
        if (m_solar[k] > 0)
            mem.fillRect(QRectF(x - 3, base - m_solar[k], 3, m_solar[k]), solarBrush);
        if (m_consumption[k] > 0)
            mem.fillRect(QRectF(x + 1, base - m_consumption[k], 3, m_consumption[k]),
                         consumptionBrush);
    }
}

void BarChart::paint(QPainter& painter, std::span<const int32_t> consumption,
                     std::span<const int32_t> solar, int currentMonth) {
    loadSeries(consumption, solar);
    m_month = currentMonth;
    const int w = m_width;
    const int h = m_height;

    painter.save();
    painter.drawText(titleBox(), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                     QString::fromLatin1(m_kind.title));

    // Each line leaves out its end point: the base line's right end and the left end of
    // every tick (drawn leftwards) stay unpainted.
    drawLineExcludingEnd(painter, {49, 45}, {49, h - 25});
    drawLineExcludingEnd(painter, {49, h - 25}, {w - 15, h - 25});

    const int dy = (h - 80) / 10;
    for (int k = 0; k <= 10; ++k) {
        const int y = 50 + k * dy;
        drawLineExcludingEnd(painter, {50, y}, {45, y});
    }
    for (const Text& t : texts()) drawAt(painter, t.topLeft, t.text);

    painter.fillRect(QRect(QPoint(w - 55, 10), QPoint(w - 21, 24)), kSolarSwatch);
    painter.fillRect(QRect(QPoint(w - 55, 30), QPoint(w - 21, 44)), kConsumptionSwatch);

    if (hasPlot() && !m_surface.isNull()) {
        renderPlot();
        // Pixel for pixel: the plot's top-left (W - 70) x (H - 80) pixels at (50, 50).
        const QRect plot = plotRect();
        painter.drawImage(plot, m_surface, QRect(QPoint(0, 0), plot.size()));
    }
    painter.restore();
}
