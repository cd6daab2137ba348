#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

class QPainter;

// What differs between the days chart and the months chart.
struct BarChartKind {
    int pairs;      // bar pairs N
    int plotWidth;  // logical plot width Lw: 10 units per pair
    const char* title;
    bool monthLabels;  // pairs labelled with month names back from the current month
};

extern const BarChartKind kDaysChart;
extern const BarChartKind kMonthsChart;

// Consumption against solar energy as pairs of bars, independent of any window.
//
// Layout on a client area of W x H pixels: title in the top 30 pixels, value axis at x = 49,
// base line at y = H - 25, eleven value ticks, pair labels under the base line, a legend at
// the top right, and the plot at (50, 50) of (W - 70) x (H - 80) pixels. The plot is composed
// in an off-screen image under a mapping of logical (Lw, S) onto the plot size and copied to
// the window in one operation.
class BarChart {
public:
    // A text the chart draws with its top-left corner at `topLeft`; the title instead is
    // centred in `box` and clipped to it.
    struct Text {
        QPoint topLeft;
        QString text;
    };

    static constexpr int32_t kMinScale = 100;
    static constexpr int kTitleHeight = 30;

    explicit BarChart(const BarChartKind& kind);

    // The client area changed: remember its size and rebuild the off-screen surface.
    void resize(int width, int height);

    // Paints the whole chart. Both series hold one 16-bit count per pair (N values are read);
    // `currentMonth` (0 = January) labels the months chart.
    void paint(QPainter& painter, std::span<const int32_t> consumption,
               std::span<const int32_t> solar, int currentMonth);

    // The value ticks, pair labels and legend words of the last paint, in drawing order,
    // without the title.
    std::vector<Text> texts() const;
    QRect titleBox() const { return QRect(0, 0, m_width, kTitleHeight); }
    QString pairLabel(int k, int currentMonth) const;

    // The full scale for the largest shown value: halved while the value is below half of
    // it, doubled while the value exceeds it, never below 100.
    static int32_t settleScale(int32_t scale, uint32_t largest);

    int32_t scale() const { return m_scale; }
    // A plot fits only when the client area is wider than 70 and higher than 80 pixels.
    bool hasPlot() const { return m_width > 70 && m_height > 80; }
    QRect plotRect() const { return QRect(50, 50, m_width - 70, m_height - 80); }

private:
    void loadSeries(std::span<const int32_t> consumption, std::span<const int32_t> solar);
    void renderPlot();

    const BarChartKind& m_kind;
    int m_width = 0;
    int m_height = 0;
    int32_t m_scale = kMinScale;  // kept from one paint to the next
    int m_month = 0;              // the calendar month of the last paint, 0 = January
    std::vector<uint16_t> m_solar;
    std::vector<uint16_t> m_consumption;
    QImage m_surface;  // W x H, only the top-left plot rectangle is used; null while no plot
};
