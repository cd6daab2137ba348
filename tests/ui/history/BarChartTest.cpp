#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <array>
#include <vector>

#include "QtTestApp.h"
#include "ui/history/BarChart.h"

namespace {

constexpr int kMarch = 2;

struct Rendered {
    QImage image;
    std::vector<BarChart::Text> texts;
};

// Paints one chart on a white client area, as a window would.
Rendered render(BarChart& chart, int width, int height, const std::vector<int32_t>& consumption,
                const std::vector<int32_t>& solar, int month = kMarch) {
    qtTestApp();
    Rendered out;
    out.image = QImage(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    out.image.fill(Qt::white);
    chart.resize(width, height);
    QPainter painter(&out.image);
    chart.paint(painter, consumption, solar, month);
    painter.end();
    out.texts = chart.texts();
    return out;
}

std::vector<int32_t> constant(int n, int32_t value) { return std::vector<int32_t>(n, value); }

QRgb rgb(int r, int g, int b) { return qRgb(r, g, b); }
const QRgb kBackground = rgb(240, 240, 240);
const QRgb kSolar = rgb(225, 225, 0);
const QRgb kConsumption = rgb(255, 0, 0);

std::vector<QString> valueLabels(const Rendered& r) {
    std::vector<QString> out;
    for (int k = 0; k < 11; ++k) out.push_back(r.texts[k].text);
    return out;
}

}  // namespace

TEST(BarChartScale, SettlesToLargestValueOfEitherSeries) {
    struct Case {
        int32_t start;
        int32_t consumption;
        int32_t solar;
        int32_t expected;
    };
    const Case cases[] = {
        {100, 0, 0, 100},        {100, 150, 0, 200},  {100, 0, 150, 200}, {100, 200, 0, 200},
        {800, 200, 0, 400},      {400, 200, 0, 400},  {400, 199, 0, 200}, {400, 0, 199, 200},
        {100, 65535, 0, 102400}, {102400, 0, 0, 100}, {100, 101, 0, 200}, {200, 100, 100, 200},
    };
    for (const Case& c : cases) {
        BarChart chart(kDaysChart);
        // Reach the starting scale through a paint, as the window does between updates.
        render(chart, 470, 380, constant(40, std::min(c.start, 65535)), constant(40, 0));
        ASSERT_EQ(chart.scale(), c.start);
        std::vector<int32_t> consumption = constant(40, 0);
        std::vector<int32_t> solar = constant(40, 0);
        consumption[17] = c.consumption;
        solar[39] = c.solar;
        render(chart, 470, 380, consumption, solar);
        EXPECT_EQ(chart.scale(), c.expected)
            << "from " << c.start << " with " << c.consumption << "/" << c.solar;
    }
}

TEST(BarChartScale, ValueLabelsDescribeTheSettledScale) {
    struct Case {
        int32_t largest;
        std::array<const char*, 11> labels;
    };
    const Case cases[] = {
        {0, {"100", "90", "80", "70", "60", "50", "40", "30", "20", "10", "0"}},
        {150, {"200", "180", "160", "140", "120", "100", "80", "60", "40", "20", "0"}},
        {65535,
         {"102400", "92160", "81920", "71680", "61440", "51200", "40960", "30720", "20480", "10240",
          "0"}},
    };
    for (const Case& c : cases) {
        BarChart chart(kMonthsChart);
        const Rendered r = render(chart, 400, 380, constant(12, c.largest), constant(12, 0));
        const std::vector<QString> labels = valueLabels(r);
        for (int k = 0; k < 11; ++k) {
            EXPECT_EQ(labels[k], QString::fromLatin1(c.labels[k])) << "tick " << k;
            // Ticks every (H - 80) / 10 = 30 pixels from the top of the plot.
            EXPECT_EQ(r.texts[k].topLeft, QPoint(0, 50 + 30 * k - 5));
        }
    }
}

TEST(BarChartScale, SixteenBitCountsAreReadUnsigned) {
    // A count of 65535 held in a 32-bit cell must not turn negative or wrap the scale.
    BarChart chart(kDaysChart);
    std::vector<int32_t> consumption = constant(40, 0);
    consumption[0] = 65535;
    render(chart, 470, 380, consumption, constant(40, 0));
    EXPECT_EQ(chart.scale(), 102400);
}

TEST(BarChartLabels, PairLabelsAndPositions) {
    struct Case {
        const BarChartKind* kind;
        int width;
        int month;
        int dx;
        std::vector<const char*> first;
    };
    const Case cases[] = {
        {&kDaysChart, 470, kMarch, 10, {"1", "2", "3"}},
        {&kMonthsChart,
         470,
         kMarch,
         33,
         {"Mar.", "Feb.", "Jan.", "Dec.", "Nov.", "Oct.", "Sep.", "Aug.", "Jul.", "Jun.", "May.",
          "Apr."}},
        {&kMonthsChart,
         470,
         0,
         33,
         {"Jan.", "Dec.", "Nov.", "Oct.", "Sep.", "Aug.", "Jul.", "Jun.", "May.", "Apr.", "Mar.",
          "Feb."}},
        {&kMonthsChart,
         470,
         11,
         33,
         {"Dec.", "Nov.", "Oct.", "Sep.", "Aug.", "Jul.", "Jun.", "May.", "Apr.", "Mar.", "Feb.",
          "Jan."}},
    };
    for (const Case& c : cases) {
        BarChart chart(*c.kind);
        const int h = 300;
        const Rendered r = render(chart, c.width, h, constant(c.kind->pairs, 5),
                                  constant(c.kind->pairs, 5), c.month);
        ASSERT_EQ(r.texts.size(), size_t(11 + c.kind->pairs + 2));
        for (int k = 0; k < c.kind->pairs; ++k) {
            const BarChart::Text& t = r.texts[11 + k];
            EXPECT_EQ(t.topLeft, QPoint(56 + k * c.dx, h - 22)) << "pair " << k;
            if (k < int(c.first.size())) {
                EXPECT_EQ(t.text, QString::fromLatin1(c.first[k]));
            }
        }
        EXPECT_EQ(r.texts[11 + c.kind->pairs - 1].text,
                  c.kind == &kDaysChart ? QStringLiteral("40") : QString::fromLatin1(c.first[11]));
        const BarChart::Text& solar = r.texts[11 + c.kind->pairs];
        const BarChart::Text& consumption = r.texts[12 + c.kind->pairs];
        EXPECT_EQ(solar.text, "Solar:");
        EXPECT_EQ(solar.topLeft, QPoint(c.width - 102, 10));
        EXPECT_EQ(consumption.text, "Consumption:");
        EXPECT_EQ(consumption.topLeft, QPoint(c.width - 152, 30));
    }
}

TEST(BarChartLabels, MonthsFollowTheCalendarAtEveryPaint) {
    BarChart chart(kMonthsChart);
    const Rendered march = render(chart, 470, 300, constant(12, 0), constant(12, 0), kMarch);
    EXPECT_EQ(march.texts[11].text, "Mar.");
    const Rendered april = render(chart, 470, 300, constant(12, 0), constant(12, 0), kMarch + 1);
    EXPECT_EQ(april.texts[11].text, "Apr.");
    EXPECT_EQ(april.texts[22].text, "May.");
}

TEST(BarChartPlot, BarsStayInsideThePlotAndInTheirSlots) {
    // W = 470, H = 380: plot (50, 50) of 400 x 300, one pixel per logical x unit.
    const int w = 470, h = 380;
    BarChart chart(kDaysChart);
    std::vector<int32_t> consumption = constant(40, 0);
    std::vector<int32_t> solar = constant(40, 0);
    consumption[0] = 800;  // the largest: S = 800, so this bar spans the whole plot height
    solar[0] = 400;
    solar[5] = 800;
    consumption[39] = 1;
    const Rendered r = render(chart, w, h, consumption, solar);
    ASSERT_EQ(chart.scale(), 800);

    // Nothing of a bar above the plot top or below its bottom (H - 30).
    for (int x = 50; x < w - 55; ++x) {
        for (int y = 0; y < h; ++y) {
            const QRgb p = r.image.pixel(x, y);
            if (p == kSolar || p == kConsumption) {
                ASSERT_GE(y, 50) << "x " << x;
                ASSERT_LT(y, h - 30) << "x " << x;
            }
        }
    }
    EXPECT_EQ(r.image.pixel(56, 50), kConsumption);  // full height reaches the top row
    EXPECT_EQ(r.image.pixel(56, h - 31), kConsumption);
    EXPECT_EQ(r.image.pixel(52, 50 + 150 - 1), kBackground);  // half-height solar bar
    EXPECT_EQ(r.image.pixel(52, 50 + 150 + 1), kSolar);

    // Slot 0 (x 50..59): 1 empty, 3 solar, 1 empty, 3 consumption, 2 empty.
    const int y = h - 31;
    const std::array<QRgb, 10> slot = {kBackground, kSolar,       kSolar,       kSolar,
                                       kBackground, kConsumption, kConsumption, kConsumption,
                                       kBackground, kBackground};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(r.image.pixel(50 + i, y), slot[i]) << "x " << 50 + i;
    EXPECT_EQ(r.image.pixel(50 + 50 + 1, 50), kSolar);  // pair 5 at full height
    EXPECT_EQ(r.image.pixel(50 + 390 + 1, 50), kBackground);
}

TEST(BarChartPlot, ZeroValuesLeaveAnEmptyGreyPlot) {
    const int w = 470, h = 380;
    BarChart chart(kDaysChart);
    const Rendered r = render(chart, w, h, constant(40, 0), constant(40, 0));
    for (int y = 50; y < h - 30; y += 7)
        for (int x = 50; x < w - 20; x += 3) ASSERT_EQ(r.image.pixel(x, y), kBackground);
    // One pixel right of the value axis, clear of the base line.
    EXPECT_NE(r.image.pixel(49, 200), kBackground);
    EXPECT_NE(r.image.pixel(200, h - 25), kBackground);
    EXPECT_EQ(r.image.pixel(200, h - 26), r.image.pixel(200, h - 28));
    // Legend swatches, right and bottom edges exclusive.
    EXPECT_EQ(r.image.pixel(w - 55, 10), rgb(255, 255, 0));
    EXPECT_EQ(r.image.pixel(w - 21, 24), rgb(255, 255, 0));
    EXPECT_EQ(r.image.pixel(w - 20, 24), qRgb(255, 255, 255));
    EXPECT_EQ(r.image.pixel(w - 55, 30), rgb(255, 0, 0));
    EXPECT_EQ(r.image.pixel(w - 21, 45), qRgb(255, 255, 255));
}

TEST(BarChartPlot, ClientAreaTooSmallForAPlotDrawsNoPlot) {
    struct Case {
        int w;
        int h;
        bool plot;
    };
    const Case cases[] = {{0, 0, false},    {70, 300, false}, {300, 80, false}, {10, 10, false},
                          {-5, 200, false}, {71, 81, true},   {470, 81, true}};
    for (const Case& c : cases) {
        for (const BarChartKind* kind : {&kDaysChart, &kMonthsChart}) {
            BarChart chart(*kind);
            const Rendered r =
                render(chart, c.w, c.h, constant(kind->pairs, 65535), constant(kind->pairs, 3));
            EXPECT_EQ(chart.hasPlot(), c.plot) << c.w << "x" << c.h;
            // Below the legend swatches, whose red is the consumption red; texts are black
            // and grey, never pure red.
            bool anyBar = false;
            for (int y = 45; y < r.image.height(); ++y)
                for (int x = 0; x < r.image.width(); ++x)
                    if (r.image.pixel(x, y) == kConsumption) anyBar = true;
            EXPECT_FALSE(anyBar && !c.plot) << c.w << "x" << c.h;
            if (c.plot) {
                const QRgb corner = r.image.pixel(50, 50);
                EXPECT_TRUE(corner == kBackground || corner == kConsumption) << c.w << "x" << c.h;
            }
        }
    }
}
