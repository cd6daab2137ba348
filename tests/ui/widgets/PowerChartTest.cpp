#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "core/config/DastConfig.h"
#include "core/store/SampleStore.h"
#include "support/QtTestApp.h"
#include "ui/widgets/PowerChart.h"

namespace {

const QRgb kBackground = qRgb(5, 5, 5);
const QRgb kPlot = qRgb(225, 225, 0);
const QRgb kGrid = qRgb(0, 230, 0);

// 2026-05-01 14:00:00 UTC
constexpr int64_t kAtTwoPm = 1777644000;

class PowerChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtTestApp();
        setenv("TZ", "UTC", 1);  // time labels in a known zone
        tzset();
        store = std::make_unique<SampleStore>();
        config = DastConfig::defaults();
    }

    void load(uint16_t selected, uint16_t scope = 0) {
        config.scopeIndex = scope;
        chart.loadSeries(selected, *store, live, config.scope());
    }

    QImage render(int width, int height) {
        chart.resize(width, height);
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        chart.paint(painter, kAtTwoPm);
        painter.end();
        return image;
    }

    std::vector<QString> valueLabels(int width, int height) {
        chart.resize(width, height);
        std::vector<QString> texts;
        const auto labels = chart.labels(kAtTwoPm);
        for (size_t i = 1; i <= 6 && i < labels.size(); ++i) texts.push_back(labels[i].text);
        return texts;
    }

    // The n-th ring's slot gets a value (the ring of Total unless told otherwise).
    void putSample(int slot, int32_t watts, int ring = 0) { store->samples[ring][slot] = watts; }

    PowerChart chart;
    std::unique_ptr<SampleStore> store;
    ChannelTable live{};
    DastConfig config;
};

TEST_F(PowerChartTest, TimeGridLines_StandAtTheirPixelsAndMayFallShortOfTheFrame) {
    struct Case {
        int width;
        int frameRight;
    };
    for (const Case c : {Case{570, 550}, Case{573, 553}}) {
        SCOPED_TRACE(c.width);
        load(kTotalRecord);
        const QImage image = render(c.width, 380);
        const int row = 80;  // between the horizontal grid lines at 50 and 110
        for (int x = 50; x <= 550; x += 100) EXPECT_EQ(image.pixel(x, row), kGrid) << x;
        EXPECT_EQ(image.pixel(c.frameRight, row), kGrid);
        EXPECT_EQ(image.pixel(100, row), kBackground);
        if (c.frameRight != 550) {
            EXPECT_EQ(image.pixel(551, row), kBackground);
            EXPECT_EQ(image.pixel(552, row), kBackground);
            // No time grid line starts at the frame's top right corner here, and the frame
            // and the top grid line, which both end there, leave it out.
            EXPECT_EQ(image.pixel(c.frameRight, 50), qRgb(255, 255, 255));
            EXPECT_EQ(image.pixel(c.frameRight - 1, 50), kGrid);
            EXPECT_EQ(image.pixel(c.frameRight, 51), kGrid);
        }
        // Value grid every 60 pixels, the frame's bottom edge, nothing right of the frame.
        for (int k = 0; k <= 5; ++k) EXPECT_EQ(image.pixel(99, 50 + 60 * k), kGrid) << k;
        EXPECT_EQ(image.pixel(99, 51), kBackground);
        EXPECT_EQ(image.pixel(c.frameRight + 1, row), qRgb(255, 255, 255));
    }
}

TEST_F(PowerChartTest, ValueLabels_FollowTheFullScale) {
    load(kTotalRecord);
    EXPECT_EQ(valueLabels(570, 380), (std::vector<QString>{"100", "80", "60", "40", "20", "0"}));

    putSample(store->writeIndex == 0 ? kRingSlots - 1 : store->writeIndex - 1, 150);
    load(kTotalRecord);
    EXPECT_EQ(valueLabels(570, 380), (std::vector<QString>{"200", "160", "120", "80", "40", "0"}));

    // Each label sits right-aligned left of its grid line.
    const auto labels = chart.labels(kAtTwoPm);
    EXPECT_EQ(labels[1].rect, QRect(0, 45, 47, 60));
    EXPECT_EQ(labels[6].rect, QRect(0, 345, 47, 60));
    EXPECT_TRUE(labels[6].flags & Qt::AlignRight);
}

TEST_F(PowerChartTest, Curve_ZerosLieOnTheBottomFrameAndValuesAtTheirHeight) {
    load(kTotalRecord);
    QImage image = render(570, 380);
    int curvePixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) curvePixels += image.pixel(x, y) == kPlot;
    EXPECT_EQ(curvePixels, 0);  // hidden under the frame line drawn after it
    EXPECT_EQ(image.pixel(75, 350), kGrid);

    // Half the full scale: 150 of 300 plot pixels below the top edge.
    for (int slot = 0; slot < kRingSlots; ++slot) putSample(slot, 50);
    load(kTotalRecord);
    image = render(570, 380);
    EXPECT_EQ(chart.fullScale(), 100);
    for (int x : {51, 120, 300, 500}) EXPECT_EQ(image.pixel(x, 200), kPlot) << x;
    EXPECT_EQ(image.pixel(120, 199), kBackground);
    EXPECT_EQ(image.pixel(120, 201), kBackground);
    // The newest sample stops one step short of the right frame, (N - 1) / N of the width
    // at x = 458; the curve leaves out that end pixel.
    EXPECT_EQ(image.pixel(50 + 457, 200), kPlot);
    EXPECT_EQ(image.pixel(50 + 458, 200), kBackground);
}

TEST_F(PowerChartTest, Bars_ReachTheirShareOfThePlotHeight) {
    live[kConsumptionRecord].power = 3000;
    live[kSolarRecord].power = 1500;
    load(kAllChannels);
    EXPECT_EQ(chart.fullScale(), 3200);
    const QImage image = render(570, 380);  // plot 500 x 300

    // Bar 13 spans logical x 121..129 of 140: pixels 432..460; top 200/3200 of 300 = 18.75.
    const int bar13 = 50 + 446;
    EXPECT_EQ(image.pixel(bar13, 50 + 19), kPlot);
    EXPECT_EQ(image.pixel(bar13, 50 + 18), kBackground);
    EXPECT_EQ(image.pixel(50 + 432, 300), kPlot);
    EXPECT_EQ(image.pixel(50 + 460, 300), kPlot);
    EXPECT_EQ(image.pixel(50 + 461, 300), kBackground);
    EXPECT_EQ(image.pixel(bar13, 349), kPlot);
    // Bar 14 half as high: top at 1700/3200 of 300 = 159.4.
    const int bar14 = 50 + 482;
    EXPECT_EQ(image.pixel(bar14, 50 + 159), kPlot);
    EXPECT_EQ(image.pixel(bar14, 50 + 158), kBackground);
    // Bars of zero watts draw nothing, and there is no time grid.
    for (int i = 0; i < 12; ++i) EXPECT_EQ(image.pixel(50 + 18 + i * 36, 349), kBackground) << i;
    EXPECT_EQ(image.pixel(150, 80), kBackground);

    const auto labels = chart.labels(kAtTwoPm);
    ASSERT_EQ(labels.size(), 1u + 6u + 14u);
    EXPECT_EQ(labels[7].text, "01");
    EXPECT_EQ(labels[7].rect.topLeft(), QPoint(56, 358));
    EXPECT_EQ(labels[20].text, "14");
    EXPECT_EQ(labels[20].rect.topLeft(), QPoint(56 + 13 * 35, 358));
}

TEST_F(PowerChartTest, TimeLabels_StepBackFromThePaintTimeByTheScope) {
    struct Case {
        uint16_t scope;
        std::vector<QString> texts;  // left to right
    };
    for (const Case& c : {
             Case{4, {"13:00:00", "13:12:00", "13:24:00", "13:36:00", "13:48:00", "14:00:00"}},
             Case{6, {"08:00:00", "09:12:00", "10:24:00", "11:36:00", "12:48:00", "14:00:00"}},
         }) {
        load(kTotalRecord, c.scope);
        chart.resize(570, 380);
        const auto labels = chart.labels(kAtTwoPm);
        ASSERT_EQ(labels.size(), 13u);
        std::vector<QString> texts;
        for (size_t i = 12; i >= 7; --i) texts.push_back(labels[i].text);
        EXPECT_EQ(texts, c.texts) << c.scope;
        // The rightmost label ends 20 pixels right of its line, below the plot.
        EXPECT_EQ(labels[7].rect, QRect(470, 358, 100, 22));
    }
}

TEST_F(PowerChartTest, FullScale_HalvesOrDoublesToTheLargestValue) {
    struct Case {
        int32_t from;
        uint32_t largest;
        int32_t settled;
    };
    for (const Case c : {
             Case{100, 0, 100},
             Case{100, 150, 200},
             Case{100, 200, 200},
             Case{800, 200, 400},
             Case{400, 200, 400},  // exactly half keeps the larger scale
             Case{6400, 1, 100},
             // Past the signed 32-bit range: capped, never negative, never a hang.
             Case{100, 0x80000000u, 1677721600},
             Case{100, 0xFFFFFFFFu, 1677721600},
             Case{-5, 10, 100},
         }) {
        EXPECT_EQ(PowerChart::settleFullScale(c.from, c.largest), c.settled)
            << c.from << " " << c.largest;
    }
}

TEST_F(PowerChartTest, Series_EndsJustBeforeTheWriteSlotAndWrapsTheRing) {
    for (int slot = 0; slot < kRingSlots; ++slot) putSample(slot, slot % 1000, 15);
    store->writeIndex = 5;
    load(kSolarRecord, 0);
    ASSERT_EQ(chart.sampleCount(), 12);
    EXPECT_EQ(chart.series(),
              (std::vector<uint32_t>{273, 274, 275, 276, 277, 278, 279, 0, 1, 2, 3, 4}));

    // Switching to six hours reloads 4,320 samples at once.
    store->writeIndex = 4320;
    load(kSolarRecord, 6);
    ASSERT_EQ(chart.series().size(), 4320u);
    EXPECT_EQ(chart.series().front(), 0u);
    EXPECT_EQ(chart.series().back(), 319u);
}

TEST_F(PowerChartTest, Scope_UnusableIndexOrSamplesFallBackToTheDefaultScope) {
    struct Case {
        uint16_t scopeIndex;
        int32_t samplesOfEntry;  // written into the selected entry when it exists
        int samples;
        uint16_t shown;
    };
    for (const Case c : {
             Case{2, 180, 180, 2},
             Case{7, 0, 720, 4},
             Case{3, 0, 720, 4},
             Case{3, 17281, 720, 4},
             Case{3, 17280, 17280, 3},
         }) {
        config = DastConfig::defaults();
        if (c.scopeIndex < config.scopes.size())
            config.scopes[c.scopeIndex].samples = c.samplesOfEntry;
        store->writeIndex = 3;
        load(kTotalRecord, c.scopeIndex);
        EXPECT_EQ(chart.sampleCount(), c.samples) << c.scopeIndex;
        EXPECT_EQ(chart.series().size(), static_cast<size_t>(c.samples));
        EXPECT_EQ(chart.shownScope(), c.shown);
    }
    // A write slot past the ring from an edited data file never reads outside it.
    store->writeIndex = 60000;
    config = DastConfig::defaults();
    putSample(60000 % kRingSlots - 1, 77);
    load(kTotalRecord, 0);
    EXPECT_EQ(chart.series().back(), 77u);
}

TEST_F(PowerChartTest, SmallClientArea_DrawsTheTitleOnly) {
    struct Case {
        int width;
        int height;
        bool plot;
    };
    for (const Case c : {Case{70, 300, false}, Case{300, 80, false}, Case{0, 0, false},
                         Case{71, 81, true}, Case{75, 85, true}}) {
        for (uint16_t selected : {uint16_t{0}, uint16_t{kAllChannels}}) {
            SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " " << selected);
            live[kSolarRecord].power = 500;
            load(selected);
            chart.resize(c.width, c.height);
            EXPECT_EQ(chart.hasPlot(), c.plot);
            EXPECT_EQ(chart.labels(kAtTwoPm).size() == 1, !c.plot);
            QImage image(std::max(c.width, 1), std::max(c.height, 1), QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            chart.paint(painter, kAtTwoPm);
            painter.end();
            if (c.plot) {
                EXPECT_EQ(image.pixel(50, 50), kGrid);
            }
        }
    }
}

}  // namespace
