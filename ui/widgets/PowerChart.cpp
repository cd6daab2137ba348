#include "ui/widgets/PowerChart.h"

#include <QPainter>
#include <algorithm>
#include <ctime>

#include "core/config/DastConfig.h"
#include "core/store/SampleStore.h"
#include "ui/framework/LineDrawing.h"

namespace {

const QColor kPlotBackground(5, 5, 5);
const QColor kPlotColour(225, 225, 0);  // curve and bars
const QColor kGridColour(0, 230, 0);    // frame and grid lines

// The largest 100 * 2^j that fits a signed 32-bit full scale.
constexpr int64_t kMaxFullScale = int64_t{PowerChart::kMinFullScale} << 24;

// Records shown as bars, in bar order: the twelve loads, then Consumption and Solar.
constexpr int kBarRecords[PowerChart::kBarCount] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15};

// Logical to pixel under the anisotropic mapping, rounded to the nearest pixel.
int scaleRounded(int64_t logical, int64_t pixels, int64_t extent) {
    return static_cast<int>((2 * logical * pixels + extent) / (2 * extent));
}

QString localClock(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    tm local{};
    if (localtime_r(&t, &local) == nullptr) return QString();
    char text[16];
    const size_t n = std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return QString::fromLatin1(text, static_cast<qsizetype>(n));
}

}  // namespace

void PowerChart::loadSeries(uint16_t selected, const SampleStore& store, const ChannelTable& live,
                            const ScopeSelection& scope) {
    m_selected = selected;
    m_shownScope = scope.shown;
    m_samples = std::clamp(scope.samples, 1, kRingSlots);  // never reads outside the ring

    m_series.clear();
    m_gaps.clear();
    m_dayStepSeconds = 0;
    m_dayTitle.clear();
    uint32_t largest = 0;
    if (selected < kAllChannels) {
        // The last N slots before writeIndex, oldest first. The held count is not consulted:
        // slots never written read as zero power.
        const int write = store.writeIndex % kRingSlots;
        const int start = (write - m_samples + kRingSlots) % kRingSlots;
        const int32_t* ring = store.samples[selected];
        m_series.reserve(static_cast<size_t>(m_samples));
        for (int i = 0; i < m_samples; ++i) {
            const uint32_t v = static_cast<uint32_t>(ring[(start + i) % kRingSlots]);
            m_series.push_back(v);
            largest = std::max(largest, v);
        }
    } else {
        for (int record : kBarRecords) {
            m_series.push_back(live[record].power);
            largest = std::max(largest, live[record].power);
        }
        m_samples = kAllChannelsSlots;
    }
    m_fullScale = settleFullScale(m_fullScale, largest);
}

void PowerChart::loadDay(uint16_t selected,
                         const std::array<std::vector<int32_t>, kChannelRecords>& rings,
                         const QString& title) {
    m_selected = selected;
    m_series.clear();
    m_gaps.clear();
    m_dayTitle = title;
    uint32_t largest = 0;
    const size_t slotCount = rings[0].size();
    if (selected < kAllChannels) {
        const std::vector<int32_t>& ring = rings[selected];
        m_series.reserve(slotCount);
        m_gaps.reserve(slotCount);
        for (int32_t v : ring) {
            const bool gap = v == kGap;
            const uint32_t watts = gap ? 0 : static_cast<uint32_t>(v);
            m_series.push_back(watts);
            m_gaps.push_back(gap);
            largest = std::max(largest, watts);
        }
        m_samples = static_cast<int32_t>(std::max<size_t>(slotCount, 1));
    } else {
        for (int record : kBarRecords) {
            int64_t sum = 0;
            int64_t count = 0;
            for (int32_t v : rings[record]) {
                if (v == kGap) continue;
                sum += v;
                ++count;
            }
            const uint32_t average = count ? static_cast<uint32_t>(sum / count) : 0;
            m_series.push_back(average);
            largest = std::max(largest, average);
        }
        m_samples = kAllChannelsSlots;
    }
    m_dayStepSeconds = static_cast<int>(slotCount);  // the day's length / 5, for six labels
    m_fullScale = settleFullScale(m_fullScale, largest);
}

int32_t PowerChart::settleFullScale(int32_t fullScale, uint32_t largest) {
    // 64-bit so that a value of 2^31 W or more neither turns negative nor overflows S.
    int64_t s = std::clamp<int64_t>(fullScale, 1, kMaxFullScale);
    const int64_t m = largest;
    while (m < s / 2) s /= 2;
    while (s < m && s * 2 <= kMaxFullScale) s *= 2;
    if (s < kMinFullScale) s = kMinFullScale;
    return static_cast<int32_t>(s);
}

QString PowerChart::title(uint16_t selected) {
    if (selected == kTotalRecord) return QStringLiteral("The Channel Total Real-Time Power (Watt)");
    if (selected >= kAllChannels) return QStringLiteral("The All Channels Real-Time Power (Watt)");
    return QStringLiteral("The Channel %1 Real-Time Power (Watt)")
        .arg(shownChannelNumber(selected), 2, 10, QLatin1Char('0'));
}

int PowerChart::labelStep(uint16_t scope) {
    static constexpr int kSteps[kScopeEntries] = {12, 60, 180, 360, 720, 2160, 4320};
    return scope < kScopeEntries ? kSteps[scope] : kSteps[0];
}

void PowerChart::resize(int width, int height) {
    if (width == m_width && height == m_height) return;
    m_width = width;
    m_height = height;
    // Only the plot's own pixels are composed off-screen; no surface when no plot fits.
    m_surface = hasPlot() ? QImage(width - 70, height - 80, QImage::Format_RGB32) : QImage();
}

void PowerChart::renderPlot() const {
    const int pw = m_surface.width();
    const int ph = m_surface.height();
    QPainter p(&m_surface);
    p.fillRect(0, 0, pw, ph, kPlotBackground);
    if (!allChannels()) return;
    for (int i = 0; i < kBarCount && i < static_cast<int>(m_series.size()); ++i) {
        const int64_t v = std::min<int64_t>(m_series[i], m_fullScale);
        if (v == 0) continue;
        // Each 10-unit slot: 1 unit gap, an 8-unit bar, 1 unit gap; right edge exclusive.
        const int x0 = scaleRounded(10 * i + 1, pw, m_samples);
        const int x1 = scaleRounded(10 * i + 9, pw, m_samples);
        const int y0 = scaleRounded(m_fullScale - v, ph, m_fullScale);
        p.fillRect(QRect(x0, y0, x1 - x0, ph - y0), kPlotColour);
    }
}

void PowerChart::curvePoints(std::vector<QPoint>& out) const {
    const int pw = m_width - 70;
    const int ph = m_height - 80;
    out.clear();
    out.reserve(m_series.size());
    for (size_t i = 0; i < m_series.size(); ++i) {
        // Values above S exist only past the 32-bit scale limit; they sit on the top edge.
        const int64_t v = std::min<int64_t>(m_series[i], m_fullScale);
        out.emplace_back(50 + scaleRounded(static_cast<int64_t>(i), pw, m_samples),
                         50 + scaleRounded(m_fullScale - v, ph, m_fullScale));
    }
}

void PowerChart::drawRuns(QPainter& painter, const std::vector<QPoint>& points) const {
    // Each run of recorded slots is its own line; a slot alone is a dot. Nothing crosses a
    // gap, so a missing hour never reads as 0 W.
    size_t i = 0;
    while (i < points.size()) {
        if (m_gaps[i]) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < points.size() && !m_gaps[end]) ++end;
        if (end - i == 1) {
            painter.drawPoint(points[i]);
        } else {
            painter.drawPolyline(points.data() + i, static_cast<int>(end - i));
        }
        i = end;
    }
}

std::vector<PowerChart::Label> PowerChart::labels(int64_t now) const {
    std::vector<Label> out;
    out.push_back({QRect(0, 0, m_width, 30), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                   m_dayTitle.isEmpty() ? title(m_selected) : m_dayTitle});
    if (!hasPlot()) return out;

    const int W = m_width;
    const int H = m_height;
    const int dx = (W - 70) / 5;
    const int dy = (H - 80) / 5;
    const int step = m_fullScale / 5;
    for (int k = 0; k <= 5; ++k) {
        const int y = 50 + k * dy;
        out.push_back({QRect(0, y - 5, 47, dy), Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                       QString::number(m_fullScale - k * step)});
    }
    if (allChannels()) {
        const int bx = (W - 70) / kBarCount;
        for (int i = 1; i <= kBarCount; ++i) {
            out.push_back({QRect(56 + (i - 1) * bx, H - 22, bx, 22),
                           Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                           QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'))});
        }
    } else {
        // The rightmost line reads the time of the paint, each one to its left T earlier.
        const int stepSeconds = m_dayStepSeconds ? m_dayStepSeconds : labelStep(m_shownScope);
        int64_t t = now;
        for (int k = 5; k >= 0; --k) {
            const int x = 50 + k * dx;
            out.push_back({QRect(x + 20 - dx, H - 22, dx, 22),
                           Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, localClock(t)});
            t -= stepSeconds;
        }
    }
    return out;
}

void PowerChart::paint(QPainter& painter, int64_t now) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const std::vector<Label> texts = labels(now);
    painter.setPen(Qt::black);
    painter.drawText(texts.front().rect, texts.front().flags, texts.front().text);

    if (hasPlot() && !m_surface.isNull()) {
        const int W = m_width;
        const int H = m_height;
        renderPlot();
        painter.drawImage(QPoint(50, 50), m_surface);

        // Every line stops one pixel short of its end point: the newest sample's pixel and
        // the frame's top right corner stay unpainted.
        if (!allChannels()) {
            std::vector<QPoint> points;
            curvePoints(points);
            painter.setPen(QPen(kPlotColour, 1));
            if (m_gaps.empty()) {
                drawPolylineExcludingEnd(painter, points.data(), static_cast<int>(points.size()));
            } else {
                drawRuns(painter, points);
            }
        }

        // Drawn after the curve, so the grid crosses it.
        painter.setPen(QPen(kGridColour, 1));
        const QPoint frame[4] = {{50, 50}, {50, H - 30}, {W - 20, H - 30}, {W - 20, 50}};
        drawPolylineExcludingEnd(painter, frame, 4);
        const int dx = (W - 70) / 5;
        const int dy = (H - 80) / 5;
        for (int k = 0; k <= 5; ++k)
            drawLineExcludingEnd(painter, {50, 50 + k * dy}, {W - 20, 50 + k * dy});
        if (!allChannels()) {
            for (int k = 5; k >= 0; --k)
                drawLineExcludingEnd(painter, {50 + k * dx, 50}, {50 + k * dx, H - 30});
        }

        painter.setPen(Qt::black);
        for (size_t i = 1; i < texts.size(); ++i)
            painter.drawText(texts[i].rect, texts[i].flags, texts[i].text);
    }
    painter.restore();
}
