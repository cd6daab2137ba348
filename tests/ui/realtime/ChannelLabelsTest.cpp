#include <gtest/gtest.h>

#include <cstring>

#include "ui/realtime/ChannelLabels.h"

namespace {

LiveReading namedTable() {
    LiveReading live{};
    for (int k = 0; k < kChannelRecords; ++k)
        std::snprintf(live[k].name, sizeof live[k].name, "Name%d", k);
    std::strcpy(live[kConsumptionRecord].name, "Consumption");
    std::strcpy(live[kSolarRecord].name, "Solar");
    return live;
}

TEST(ChannelTreeItems, CarryTheChartChannelAsItemDataInTreeOrder) {
    LiveReading live = namedTable();
    live[3].name[0] = '\0';
    const auto items = channelTreeItems(live);
    ASSERT_EQ(items.size(), 16u);

    const int data[16] = {16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 0};
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].data, data[i]) << i;
        EXPECT_EQ(items[i].child, i != 0 && i != 15) << i;
    }
    EXPECT_EQ(items[0].label, "All channel");
    EXPECT_EQ(items[1].label, "01 Name1");
    EXPECT_EQ(items[3].label, "03 ");  // an empty name keeps the space
    EXPECT_EQ(items[12].label, "12 Name12");
    EXPECT_EQ(items[13].label, "13 Consumption");
    EXPECT_EQ(items[14].label, "14 Solar");
    EXPECT_EQ(items[15].label, "Total");
}

TEST(ChannelTreeItems, RenamedLabelsNumberConsumptionAndSolarThirteenAndFourteen) {
    LiveReading live = namedTable();
    std::strcpy(live[kConsumptionRecord].name, "House");
    std::strcpy(live[kSolarRecord].name, "Roof");
    struct Case {
        int data;
        const char* label;
    };
    for (const Case c : {Case{1, "01 Name1"}, Case{12, "12 Name12"}, Case{14, "13 House"},
                         Case{15, "14 Roof"}, Case{16, ""}, Case{-1, ""}}) {
        EXPECT_EQ(channelLabel(c.data, live), c.label) << c.data;
    }
}

TEST(RecordName, StopsAtTheFieldEndWithoutATerminatorAndKeepsUtf8) {
    ChannelRecord record{};
    std::memset(record.name, 'x', sizeof record.name);  // no NUL anywhere, as an edited file
    EXPECT_EQ(recordName(record).size(), 64);

    std::strcpy(record.name,
                "K\xC3\xBC"
                "che");
    EXPECT_EQ(recordName(record), QString::fromUtf8("K\xC3\xBC"
                                                    "che"));
}

TEST(LiveListRows, ShowFixedWordsPowersAndSignedBalance) {
    LiveReading live = namedTable();
    live[kConsumptionRecord].power = 1500;
    live[kSolarRecord].power = 1200;
    live[kTotalRecord].power = 2345;
    for (int k = 1; k <= 12; ++k) live[k].power = 100 * k;
    live[13].power = 999;  // the spare record is never listed

    const auto rows = liveListRows(live);
    struct Row {
        const char* number;
        const char* power;
        const char* name;
    };
    const Row expected[16] = {
        {"Consumption", "1500", "Consumption"},
        {"Solar", "1200", "Solar"},
        {"Balance", "-300", "Balance"},
        {"Total", "2345", "Total"},
        {"01", "100", "Name1"},
        {"02", "200", "Name2"},
        {"03", "300", "Name3"},
        {"04", "400", "Name4"},
        {"05", "500", "Name5"},
        {"06", "600", "Name6"},
        {"07", "700", "Name7"},
        {"08", "800", "Name8"},
        {"09", "900", "Name9"},
        {"10", "1000", "Name10"},
        {"11", "1100", "Name11"},
        {"12", "1200", "Name12"},
    };
    for (int row = 0; row < kListRows; ++row) {
        EXPECT_EQ(rows[row][0], expected[row].number) << row;
        EXPECT_EQ(rows[row][1], expected[row].power) << row;
        EXPECT_EQ(rows[row][2], expected[row].name) << row;
    }
}

TEST(LiveListRows, PowersAreUnsignedAndBalanceNeverWraps) {
    struct Case {
        uint32_t consumption;
        uint32_t solar;
        const char* balance;
    };
    for (const Case c : {Case{0, 0, "0"}, Case{1200, 1500, "300"}, Case{65535, 0, "-65535"},
                         Case{0, 4000000000u, "4000000000"}, Case{4000000000u, 0, "-4000000000"}}) {
        LiveReading live{};
        live[kConsumptionRecord].power = c.consumption;
        live[kSolarRecord].power = c.solar;
        EXPECT_EQ(livePowerText(2, live), c.balance);
        EXPECT_EQ(livePowerText(0, live), QString::number(c.consumption));
    }
    LiveReading live{};
    live[5].power = 3000000000u;
    EXPECT_EQ(livePowerText(8, live), "3000000000");
    EXPECT_EQ(livePowerText(16, live), "");
    EXPECT_EQ(livePowerText(-1, live), "");
}

}  // namespace
