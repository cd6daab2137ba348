#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

// Meter replies built byte by byte from plain values, for the tests of the program's
// decoders and link. The offsets are written out here rather than taken from the program or
// from the simulator's composer, so a layout fault in either cannot hide behind its own
// encoder.

struct MeterHistory {
    std::array<uint16_t, 40> days{};    // kWh, day 0 today
    std::array<uint16_t, 12> months{};  // kWh, month 0 this month
};

// Records 1..15 in reply order: loads 1..12, spare, consumption, solar.
struct MeterLiveRecord {
    uint16_t number = 0;
    uint16_t power = 0;  // watts
    uint8_t state = '1';
};
using MeterLiveRecords = std::array<MeterLiveRecord, 15>;

// The last byte: the 8-bit sum of every byte before it.
inline std::vector<uint8_t> withMeterChecksum(std::vector<uint8_t> bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
    bytes.push_back(sum);
    return bytes;
}

// 114 bytes: the 6-byte header ("COMDAY" or "SOLDAY"), 40 days u16 LE from byte 6, the
// 3-byte month tag ("MON") at 86, 12 months u16 LE from 89, checksum at 113.
inline std::vector<uint8_t> meterHistoryReply(const char* header, const MeterHistory& history,
                                              const char* monthTag = "MON") {
    std::vector<uint8_t> body(113, 0);
    std::memcpy(&body[0], header, 6);
    for (size_t d = 0; d < 40; ++d) {
        body[6 + 2 * d] = static_cast<uint8_t>(history.days[d] & 0xFF);
        body[7 + 2 * d] = static_cast<uint8_t>(history.days[d] >> 8);
    }
    std::memcpy(&body[86], monthTag, 3);
    for (size_t m = 0; m < 12; ++m) {
        body[89 + 2 * m] = static_cast<uint8_t>(history.months[m] & 0xFF);
        body[90 + 2 * m] = static_cast<uint8_t>(history.months[m] >> 8);
    }
    return withMeterChecksum(std::move(body));
}

// 121 bytes: fifteen 8-byte records ('S', two unused bytes, number u16 BE at 3..4, power
// u16 LE at 5..6, state at 7), then the checksum.
inline std::vector<uint8_t> meterLiveReply(const MeterLiveRecords& records) {
    std::vector<uint8_t> body(120, 0);
    for (size_t r = 0; r < 15; ++r) {
        uint8_t* at = &body[8 * r];
        at[0] = 'S';
        at[3] = static_cast<uint8_t>(records[r].number >> 8);
        at[4] = static_cast<uint8_t>(records[r].number & 0xFF);
        at[5] = static_cast<uint8_t>(records[r].power & 0xFF);
        at[6] = static_cast<uint8_t>(records[r].power >> 8);
        at[7] = records[r].state;
    }
    return withMeterChecksum(std::move(body));
}
