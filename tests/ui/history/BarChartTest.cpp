#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <array>
#include <vector>

#include "support/QtTestApp.h"
#include "ui/history/BarChart.h"

namespace {

constexpr int kMarch = 2;
const QRgb kBackground = qRgb(240, 240, 240);
const QRgb kSolar = qRgb(225, 225, 0);
const QRgb kConsumption = qRgb(255, 0, 0);

// Paints one chart on a white client area of width x height, as a window would.
QImage render(BarChart& chart, int width, int height, const std::vector<int32_t>& consumption,
              const std::vector<int32_t>& solar, int month = kMarch) {
    qtTestApp();
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    image.fill(Qt::white);
    chart.resize(width, height);
    QPainter painter(&image);
    chart.paint(painter, consumption, solar, month);
    return image;
}

std::vector<int32_t> filled(int n, int32_t value) { return std::vector<int32_t>(n, value); }

}  // namespace

TEST(BarChart, ScaleSettlesOnTheLargestValueOfEitherSeriesBeforeDrawing) {
    struct Case {
        int32_t start, consumption, solar, scale;
        const char* topLabel;
        const char* secondLabel;
    };
    const Case cases[] = {
        {100, 0, 0, 100, "100", "90"},    {100, 150, 0, 200, "200", "180"},
        {100, 0, 150, 200, "200", "180"}, {100, 200, 0, 200, "200", "180"},
        {800, 200, 0, 400, "400", "360"}, {400, 200, 0, 400, "400", "360"},
        {400, 0, 199, 200, "200", "180"}, {100, 65535, 0, 102400, "102400", "92160"},
        {102400, 0, 0, 100, "100", "90"}, {200, 100, 100, 200, "200", "180"},
    };
    for (const Case& c : cases) {
        BarChart chart(kMonthsChart);
        // The scale is kept from one paint to the next: reach the starting one first.
        render(chart, 400, 380, filled(12, std::min(c.start, 65535)), filled(12, 0));
        ASSERT_EQ(chart.scale(), c.start);
        std::vector<int32_t> consumption = filled(12, 0), solar = filled(12, 0);
        consumption[5] = c.consumption;
        solar[11] = c.solar;
        render(chart, 400, 380, consumption, solar);
        EXPECT_EQ(chart.scale(), c.scale) << c.start << " " << c.consumption << "/" << c.solar;
        const std::vector<BarChart::Text> texts = chart.texts();
        EXPECT_EQ(texts[0].text, c.topLabel);
        EXPECT_EQ(texts[1].text, c.secondLabel);
        EXPECT_EQ(texts[10].text, "0");
        for (int k = 0; k <= 10; ++k) EXPECT_EQ(texts[k].topLeft, QPoint(0, 45 + 30 * k));
    }
}

TEST(BarChart, PairLabelsAndLegendPositions) {
    struct Case {
        const BarChartKind* kind;
        int month, dx;
        std::vector<const char*> labels;
    };
    const Case cases[] = {
        {&kDaysChart, kMarch, 10, {"1", "2", "3"}},
        {&kMonthsChart,
         kMarch,
         33,
         {"Mar.", "Feb.", "Jan.", "Dec.", "Nov.", "Oct.", "Sep.", "Aug.", "Jul.", "Jun.", "May.",
          "Apr."}},
        {&kMonthsChart, 0, 33, {"Jan.", "Dec.", "Nov."}},
        {&kMonthsChart, 11, 33, {"Dec.", "Nov.", "Oct."}},
    };
    for (const Case& c : cases) {
        BarChart chart(*c.kind);
        render(chart, 470, 300, filled(c.kind->pairs, 5), filled(c.kind->pairs, 5), c.month);
        const std::vector<BarChart::Text> texts = chart.texts();
        ASSERT_EQ(texts.size(), size_t(11 + c.kind->pairs + 2));
        for (int k = 0; k < c.kind->pairs; ++k) {
            EXPECT_EQ(texts[11 + k].topLeft, QPoint(56 + k * c.dx, 300 - 22)) << k;
            if (k < int(c.labels.size())) {
                EXPECT_EQ(texts[11 + k].text, c.labels[k]);
            }
        }
        EXPECT_EQ(texts[11 + c.kind->pairs].topLeft, QPoint(470 - 102, 10));  // "Solar:"
        EXPECT_EQ(texts[12 + c.kind->pairs].topLeft, QPoint(470 - 152, 30));  // "Consumption:"
    }
}

TEST(BarChart, BarsStayInsideThePlotSolarLeftOfConsumption) {
    // W = 470, H = 380: the plot is (50, 50) of 400 x 300, one pixel per logical x unit.
    const int w = 470, h = 380;
    BarChart chart(kDaysChart);
    std::vector<int32_t> consumption = filled(40, 0), solar = filled(40, 0);
    consumption[0] = 800;  // the largest: S = 800, so this bar spans the whole plot height
    solar[0] = 400;
    solar[5] = 800;
    const QImage image = render(chart, w, h, consumption, solar);
    ASSERT_EQ(chart.scale(), 800);

    for (int x = 50; x < w - 55; ++x) {  // left of the legend swatches
        for (int y = 0; y < h; ++y) {
            const QRgb p = image.pixel(x, y);
            if (p == kSolar || p == kConsumption) {
                ASSERT_GE(y, 50) << x;
                ASSERT_LT(y, h - 30) << x;
            }
        }
    }
    EXPECT_EQ(image.pixel(56, 50), kConsumption);
    EXPECT_EQ(image.pixel(52, 50 + 149), kBackground);  // half-height solar bar
    EXPECT_EQ(image.pixel(52, 50 + 151), kSolar);
    EXPECT_EQ(image.pixel(101, 50), kSolar);  // pair 5 at full height
    // Slot 0 (x 50..59): 1 empty, 3 solar, 1 empty, 3 consumption, 2 empty.
    const std::array<QRgb, 10> slot = {kBackground, kSolar,       kSolar,       kSolar,
                                       kBackground, kConsumption, kConsumption, kConsumption,
                                       kBackground, kBackground};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(image.pixel(50 + i, h - 31), slot[i]) << 50 + i;
    EXPECT_EQ(image.pixel(200, h - 31), kBackground);  // zero values draw nothing
    EXPECT_EQ(image.pixel(w - 21, 24),
              qRgb(255, 255, 0));  // swatch, right and bottom edges exclusive
    EXPECT_EQ(image.pixel(w - 20, 24), qRgb(255, 255, 255));

    // Axes and ticks leave out their end points: the base line's right end, the left end of
    // each tick (drawn leftwards); the corner is the base line's first pixel.
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    EXPECT_EQ(image.pixel(49, 45), black);
    EXPECT_EQ(image.pixel(49, h - 25), black);
    EXPECT_EQ(image.pixel(w - 16, h - 25), black);
    EXPECT_EQ(image.pixel(w - 15, h - 25), white);
    EXPECT_EQ(image.pixel(46, 80), black);
    EXPECT_EQ(image.pixel(45, 80), white);
}

TEST(BarChart, ClientAreaTooSmallForAPlotDrawsNoPlot) {
    struct Case {
        int w, h;
        bool plot;
    };
    const Case cases[] = {{0, 0, false},    {70, 300, false}, {300, 80, false},
                          {-5, 200, false}, {71, 81, true},   {470, 81, true}};
    for (const Case& c : cases) {
        for (const BarChartKind* kind : {&kDaysChart, &kMonthsChart}) {
            BarChart chart(*kind);
            const QImage image =
                render(chart, c.w, c.h, filled(kind->pairs, 65535), filled(kind->pairs, 3));
            EXPECT_EQ(chart.hasPlot(), c.plot) << c.w << "x" << c.h;
            // Below the legend, whose red is the consumption red; texts are never pure red.
            bool anyBar = false;
            for (int y = 45; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) anyBar |= image.pixel(x, y) == kConsumption;
            EXPECT_FALSE(anyBar && !c.plot) << c.w << "x" << c.h;
        }
    }
}
