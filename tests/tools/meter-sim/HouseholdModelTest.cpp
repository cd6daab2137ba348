#include <gtest/gtest.h>

#include "tools/meter-sim/HouseholdModel.h"

using namespace metersim;

namespace {

constexpr int64_t kDay = 86400;
// Local midnights: 2026-06-21 (midsummer) and 2026-12-21 (midwinter).
constexpr int64_t kMidsummer = 1782000000 - 1782000000 % kDay;
constexpr int64_t kMidwinter = 1797811200;

SwitchStates allOn() {
    SwitchStates s;
    s.fill(true);
    return s;
}

}  // namespace

TEST(HouseholdModel, SolarIsZeroAtNightAndProducesAtNoon) {
    const HouseholdModel model(7);
    for (int64_t midnight : {kMidsummer, kMidwinter}) {
        for (int hour : {0, 2, 4, 22, 23}) {
            SCOPED_TRACE(testing::Message() << midnight << " hour " << hour);
            EXPECT_EQ(model.live(midnight + hour * 3600, allOn())[14].power, 0);
        }
    }
    for (int day = 0; day < 20; ++day) {
        const auto noon = kMidsummer + day * kDay + 13 * 3600;
        EXPECT_GT(model.live(noon, allOn())[14].power, 300) << "day " << day;
    }
}

TEST(HouseholdModel, ConsumptionIsAboveTheSumOfTheLoadsAllYearRound) {
    const HouseholdModel model(3);
    SwitchStates some = allOn();
    some[2] = some[10] = false;
    for (const SwitchStates& switches : {allOn(), some}) {
        for (int64_t t = kMidsummer; t < kMidsummer + 365 * kDay; t += 7919) {
            const LiveSnapshot s = model.live(t, switches);
            unsigned loads = 0;
            for (int ch = 0; ch < kLoadChannels; ++ch) loads += s[ch].power;
            ASSERT_GT(s[13].power, loads) << "t=" << t;
        }
    }
}

TEST(HouseholdModel, SwitchedOffChannelReadsZeroWattsAndStateThree) {
    const HouseholdModel model(11);
    const int64_t evening = kMidwinter + 19 * 3600;  // cooker, lights, heat pump busy
    for (int off = 0; off < kLoadChannels; ++off) {
        SCOPED_TRACE(off + 1);
        SwitchStates switches = allOn();
        switches[off] = false;
        const LiveSnapshot on = model.live(evening, allOn());
        const LiveSnapshot s = model.live(evening, switches);
        for (int r = 0; r < kLiveRecords; ++r) EXPECT_EQ(s[r].number, r + 1);
        EXPECT_EQ(s[off].power, 0);
        EXPECT_EQ(s[off].state, '3');
        for (int ch = 0; ch < kLoadChannels; ++ch) {
            if (ch == off) continue;
            EXPECT_EQ(s[ch].power, on[ch].power);
            EXPECT_EQ(s[ch].state, '1');
        }
        // The whole-house reading loses what the channel drew.
        EXPECT_LE(s[13].power, on[13].power);
    }
}

TEST(HouseholdModel, SameSeedSameReadingsOtherSeedOtherReadings) {
    const HouseholdModel a(42), b(42), c(43);
    int differing = 0;
    for (int64_t t = kMidsummer; t < kMidsummer + kDay; t += 3607) {
        const LiveSnapshot sa = a.live(t, allOn()), sb = b.live(t, allOn()),
                           sc = c.live(t, allOn());
        for (int r = 0; r < kLiveRecords; ++r) {
            ASSERT_EQ(sa[r].power, sb[r].power);
            differing += sa[r].power != sc[r].power;
        }
    }
    EXPECT_GT(differing, 10);
    EXPECT_EQ(a.consumptionHistory(kMidsummer + 5000).days,
              b.consumptionHistory(kMidsummer + 5000).days);
}

TEST(HouseholdModel, EnergyCountsGrowDuringTheDayAndShiftAtMidnight) {
    const HouseholdModel model(5);
    for (bool solar : {false, true}) {
        SCOPED_TRACE(solar ? "solar" : "consumption");
        auto hist = [&](int64_t t) {
            return solar ? model.solarHistory(t) : model.consumptionHistory(t);
        };
        EnergyHistory previous = hist(kMidsummer);
        EXPECT_EQ(previous.days[0], 0);  // nothing yet at midnight
        for (int64_t t = kMidsummer + 1800; t < kMidsummer + kDay; t += 1800) {
            const EnergyHistory now = hist(t);
            EXPECT_GE(now.days[0], previous.days[0]);
            EXPECT_GE(now.months[0], previous.months[0]);
            EXPECT_GE(now.months[0], now.days[0]);
            previous = now;
        }
        EXPECT_GT(previous.days[0], 5);  // a whole summer day, in kWh
        // The next day every past day moves one entry down.
        const EnergyHistory today = hist(kMidsummer + 12 * 3600);
        const EnergyHistory tomorrow = hist(kMidsummer + kDay + 12 * 3600);
        for (int i = 1; i + 1 < kHistoryDays; ++i) EXPECT_EQ(tomorrow.days[i + 1], today.days[i]);
        EXPECT_EQ(tomorrow.months[1], today.months[1]);  // still June both days
    }
}

TEST(HouseholdModel, MonthsTurnOverOnTheFirst) {
    const HouseholdModel model(9);
    const int64_t july1 = kMidsummer + 10 * kDay;
    const EnergyHistory lastJune = model.consumptionHistory(july1 - 1);
    const EnergyHistory firstJuly = model.consumptionHistory(july1 + 60);
    EXPECT_EQ(firstJuly.months[0], 0);
    EXPECT_NEAR(firstJuly.months[1], lastJune.months[0], 1);  // June, now complete
    EXPECT_EQ(firstJuly.months[2], lastJune.months[1]);
}
