#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>

#include "tools/meter-sim/ReplyComposer.h"

namespace metersim {

// Which of the twelve load channels are switched on (index 0 is channel 1).
using SwitchStates = std::array<bool, kLoadChannels>;

// A believable household behind the meter: a dozen appliances with daily habits and
// noise, an unmetered base load, and a roof of solar panels following the sun and the
// clouds. Every value is a pure function of the seed and the local time, so two runs
// with the same seed give the same readings at the same moment.
//
// Times are "local seconds": seconds since 1970-01-01 in the house's own time zone
// (UTC seconds plus the zone's offset), so midnight and noon are where the house sees them.
class HouseholdModel {
public:
    explicit HouseholdModel(uint64_t seed);

    // Live reply records at this moment; a switched-off channel reads 0 W and state '3'.
    LiveSnapshot live(int64_t localSeconds, const SwitchStates& switches) const;

    // Power of one load channel (1..12) in watts, as if switched on.
    double loadPower(int channel, int64_t localSeconds) const;
    // Consumption not measured by any load channel (fridge lights, wiring, chargers), > 0.
    double unmeteredPower(int64_t localSeconds) const;
    double solarPower(int64_t localSeconds) const;

    // Energy counts in whole kWh: today so far and the 39 days before it, this month so far
    // and the 11 months before it. They only grow while the day (month) goes on.
    EnergyHistory consumptionHistory(int64_t localSeconds) const;
    EnergyHistory solarHistory(int64_t localSeconds) const;

private:
    struct DayEnergy {
        double consumptionWh = 0;
        double solarWh = 0;
    };
    // Energy between local midnight of `day` and `untilSecond` of that day.
    DayEnergy integrate(int64_t day, int untilSecond) const;
    const DayEnergy& fullDay(int64_t day) const;
    EnergyHistory history(int64_t localSeconds, bool solar) const;

    double noise(uint64_t a, uint64_t b) const;  // in [0, 1)

    uint64_t m_seed;
    mutable std::unordered_map<int64_t, DayEnergy> m_dayCache;  // whole past days
};

}  // namespace metersim
