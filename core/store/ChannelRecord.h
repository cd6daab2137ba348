#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One record of the channel table, 76 bytes, the same image in memory and in dast.cfg.
struct ChannelRecord {
    char name[64];      // NUL-terminated text
    uint16_t number;    // rewritten for records 1..15 by every decoded live reading
    uint8_t spare1[2];  // written back as held
    uint32_t power;     // watts
    uint8_t state;      // '1' on, '3' off, 0 when no reading is held
    uint8_t spare2[3];  // written back as held
};

static_assert(sizeof(ChannelRecord) == 76);
static_assert(offsetof(ChannelRecord, number) == 64);
static_assert(offsetof(ChannelRecord, spare1) == 66);
static_assert(offsetof(ChannelRecord, power) == 68);
static_assert(offsetof(ChannelRecord, state) == 72);
static_assert(offsetof(ChannelRecord, spare2) == 73);

// Fixed roles of the sixteen records.
inline constexpr int kChannelRecords = 16;
inline constexpr int kTotalRecord = 0;
inline constexpr int kFirstLoad = 1;
inline constexpr int kLastLoad = 12;
inline constexpr int kSpareRecord = 13;
inline constexpr int kConsumptionRecord = 14;
inline constexpr int kSolarRecord = 15;
// The number a record goes by in the channel tree and the chart titles: the loads their own,
// Consumption (14) and Solar (15) 13 and 14, after the unused record 13.
inline constexpr int shownChannelNumber(int record) {
    return record <= kLastLoad ? record : record - 1;
}
// Not a record: the chart selection that shows the bars of every channel, one past the last
// record so that 0..15 can each select one ring.
inline constexpr int kAllChannels = 16;

// The channel table: record 0 Total, 1..12 loads, 13 spare, 14 Consumption, 15 Solar.
using ChannelTable = std::array<ChannelRecord, kChannelRecords>;

// What the last poll read for one record: the run-time part of a ChannelRecord, kept apart
// from the configuration and written into the record's fields only where a whole record is
// shown or stored.
struct LiveReading {
    uint32_t power = 0;  // watts
    uint8_t state = 0;   // '1' on, '3' off, 0 when no reading is held
};
using LiveReadings = std::array<LiveReading, kChannelRecords>;

// The records with power and state taken from `live`.
inline ChannelTable withReadings(ChannelTable table, const LiveReadings& live) {
    for (int k = 0; k < kChannelRecords; ++k) {
        table[k].power = live[k].power;
        table[k].state = live[k].state;
    }
    return table;
}
