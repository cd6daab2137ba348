#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include "core/store/ChannelRecord.h"

class QPainter;
struct SampleStore;
struct ScopeSelection;

// The real-time power chart, independent of any window: loads a series from the sample
// store (or the fourteen live powers), settles the full scale and paints into any QPainter.
//
// Layout on a client area of W x H pixels: a 30-pixel title band, the plot at (50, 50) of
// (W - 70) x (H - 80) pixels, value labels left of it, time labels or bar numbers below.
// Logical x 0..N spans the plot width, logical y 0..S its height, y growing downwards.
class PowerChart {
public:
    // One text the chart draws: where, with which Qt alignment flags, and what.
    struct Label {
        QRect rect;
        int flags;
        QString text;
    };

    static constexpr int32_t kMinFullScale = 100;
    static constexpr int32_t kGap = INT32_MIN;     // a slot with no sample: drawn as a gap
    static constexpr int kAllChannelsSlots = 140;  // 14 bars of 10 logical units
    static constexpr int kBarCount = 14;

    // Reloads the series, N and S for the selected chart channel (0..15 one ring, anything
    // else the live powers of records 1..12, 14, 15) and the configured scope.
    void loadSeries(uint16_t selected, const SampleStore& store, const ChannelTable& live,
                    const ScopeSelection& scope);
    // A whole recorded day instead of the live store: the ring `selected` of `rings` (one
    // value per 5-second slot from midnight, kGap where nothing was recorded), or for
    // kAllChannels the average power of each bar record over its recorded slots. Paint it
    // with `now` at the day's end: the time labels then run from midnight to midnight.
    // `title` replaces the live title.
    void loadDay(uint16_t selected, const std::array<std::vector<int32_t>, kChannelRecords>& rings,
                 const QString& title);
    // The client size changed: remember it and rebuild the off-screen plot surface.
    void resize(int width, int height);
    // Paints the whole chart from the last loaded series; `now` (seconds since 1970 UTC)
    // labels the rightmost time grid line in local time.
    void paint(QPainter& painter, int64_t now) const;

    // Texts of one paint, in drawing order; the title is first.
    std::vector<Label> labels(int64_t now) const;

    // Doubles or halves S to the largest shown value, never below 100 and never past the
    // largest 100 * 2^j that fits 32 signed bits.
    static int32_t settleFullScale(int32_t fullScale, uint32_t largest);
    static QString title(uint16_t selected);
    // Seconds between two time grid lines for a scope index.
    static int labelStep(uint16_t scope);

    const std::vector<uint32_t>& series() const { return m_series; }
    int32_t fullScale() const { return m_fullScale; }
    int32_t sampleCount() const { return m_samples; }
    uint16_t shownScope() const { return m_shownScope; }
    bool allChannels() const { return m_selected >= kAllChannels; }
    // A plot fits only when the client area is wider than 70 and higher than 80 pixels.
    bool hasPlot() const { return m_width > 70 && m_height > 80; }

private:
    void renderPlot() const;
    void curvePoints(std::vector<QPoint>& out) const;
    void drawRuns(QPainter& painter, const std::vector<QPoint>& points) const;

    uint16_t m_selected = kAllChannels;
    std::vector<uint32_t> m_series;
    int32_t m_fullScale = kMinFullScale;
    int32_t m_samples = 12;
    uint16_t m_shownScope = 0;
    std::vector<bool> m_gaps;  // per series value: no sample there (a recorded day only)
    int m_dayStepSeconds = 0;  // a recorded day: seconds between time labels, else 0
    QString m_dayTitle;
    int m_width = 0;
    int m_height = 0;
    // Plot background and bars, (W - 70) x (H - 80); null while no plot fits. Composed at
    // paint time but allocated only on a size change.
    mutable QImage m_surface;
};
