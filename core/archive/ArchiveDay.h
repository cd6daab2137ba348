#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include "core/store/ChannelRecord.h"

// A slot of a day for which the archive holds no row: a gap, drawn as a gap, never as 0 W.
inline constexpr int32_t kNoSample = INT32_MIN;

// One local calendar day read from the archive, in 5-second slotCount from local midnight.
struct ArchiveDay {
    int64_t start = 0;  // Unix seconds of the local midnight that begins the day
    int slotCount = 0;  // 17,280; 16,560 or 18,000 on a day with a daylight-saving change
    int rows = 0;       // rows of the day, each in a slot of its own where there is one
    // Watts of records 0..15 (ring k = record k), `slotCount` values each, kNoSample in gaps.
    std::array<std::vector<int32_t>, kChannelRecords> power;
    // Watts of the rows beyond the day's slots (a clock stepped back on a full day), summed
    // per record: they have no place in the chart but count in the day's energy.
    std::array<int64_t, kChannelRecords> unplacedWatts{};
};

// Energy of each record over the day in kWh, from the rows alone (watts x 5 s each).
std::array<double, kChannelRecords> dayEnergyKwh(const ArchiveDay& day);
