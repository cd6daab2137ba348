#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/store/ChannelRecord.h"
#include "core/store/EnergyTables.h"

// One sample as the tick recorded it from the meter: what listeners beyond the windows (the
// long-term archive, the publisher) receive. Zero samples recorded while there is no link and
// the gap fill after a pause never reach them.
struct MeterSample {
    int64_t time = 0;                                // Unix seconds (UTC) of the sample
    std::array<int32_t, kChannelRecords> power{};    // watts of records 0..15 (ring k = record k)
    std::array<uint8_t, kChannelRecords> state{};    // '1' on, '3' off, 0 unknown
    std::array<std::string, kChannelRecords> names;  // channel names as the table holds them
    DayTable days{};                                 // the meter's energy tables after this poll
    MonthTable months{};
};

// A listener of the acquisition layer. Calls come on the acquisition thread, after the data
// lock is released, one at a time and in order; each must return at once (queue the work and
// do it on a thread of its own), since a slow listener would delay the next poll.
class SampleSink {
public:
    virtual ~SampleSink() = default;
    // After every sample recorded from the meter.
    virtual void onMeterSample(const MeterSample& sample) = 0;
    // The link has opened or closed (seen at the next tick after the change).
    virtual void onLinkChanged(bool open) = 0;
};
