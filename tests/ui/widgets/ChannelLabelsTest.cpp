#include <gtest/gtest.h>

#include <cstring>

#include "ui/widgets/ChannelLabels.h"

namespace {

TEST(ChannelTree, ItemDataInTreeOrderAndLabelsWithEmptyAndUnterminatedNames) {
    ChannelTable live{};
    std::strcpy(live[1].name, "Pump");
    std::memset(live[2].name, 'x', sizeof live[2].name);  // no NUL, as in an edited file
    std::strcpy(live[kConsumptionRecord].name, "House");
    const auto items = channelTreeItems(live);
    ASSERT_EQ(items.size(), 16u);
    const int data[16] = {16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 0};
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].data, data[i]) << i;
        EXPECT_EQ(items[i].child, i != 0 && i != 15) << i;
    }
    EXPECT_EQ(items[1].label, "01 Pump");
    EXPECT_EQ(items[2].label, "02 " + QString(64, 'x'));
    EXPECT_EQ(items[3].label, "03 ");
    EXPECT_EQ(items[13].label, "13 Consumption");  // fixed at creation, not the record name

    // After a rename Consumption and Solar read 13 and 14 with their record names.
    EXPECT_EQ(channelLabel(14, live), "13 House");
    EXPECT_EQ(channelLabel(15, live), "14 ");
    EXPECT_EQ(channelLabel(16, live), "");
}

TEST(LiveList, FixedWordsUnsignedPowersAndSignedBalance) {
    ChannelTable live{};
    live[kConsumptionRecord].power = 1500;
    live[kSolarRecord].power = 1200;
    live[5].power = 3000000000u;
    std::strcpy(live[12].name, "Oven");
    const auto rows = liveListRows(live);
    EXPECT_EQ(rows[0][0], "Consumption");
    EXPECT_EQ(rows[0][2], "Consumption");
    EXPECT_EQ(rows[2][1], "-300");
    EXPECT_EQ(rows[3][0], "Total");
    EXPECT_EQ(rows[8][0], "05");
    EXPECT_EQ(rows[8][1], "3000000000");
    EXPECT_EQ(rows[15][2], "Oven");

    struct Case {
        uint32_t consumption;
        uint32_t solar;
        const char* balance;
    };
    for (const Case c : {Case{1200, 1500, "300"}, Case{0, 4000000000u, "4000000000"},
                         Case{4000000000u, 0, "-4000000000"}}) {
        live[kConsumptionRecord].power = c.consumption;
        live[kSolarRecord].power = c.solar;
        EXPECT_EQ(livePowerText(2, live), c.balance);
    }
}

}  // namespace
