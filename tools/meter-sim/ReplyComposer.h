#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace metersim {

// Command codes, byte 1 of every AA cmd arg AD frame.
inline constexpr uint8_t kProbeCommand = 0;
inline constexpr uint8_t kConsumptionHistoryCommand = 1;
inline constexpr uint8_t kLiveCommand = 2;
inline constexpr uint8_t kSwitchOnCommand = 3;
inline constexpr uint8_t kSwitchOffCommand = 4;
inline constexpr uint8_t kSolarHistoryCommand = 14;

inline constexpr size_t kHistoryReplySize = 114;
inline constexpr size_t kLiveReplySize = 121;
inline constexpr int kHistoryDays = 40;
inline constexpr int kHistoryMonths = 12;
inline constexpr int kLiveRecords = 15;  // records 1..15 of the channel table
inline constexpr int kLoadChannels = 12;
inline constexpr uint8_t kSwitchAck = 0x0D;
inline constexpr uint8_t kSwitchNak = 0x15;  // what the meter sends for a channel it lacks
inline constexpr char kStateOn = '1';
inline constexpr char kStateOff = '3';

// Energy counts in kWh as the meter keeps them: entry 0 is today (this month),
// entry i the day (month) i before it.
struct EnergyHistory {
    std::array<uint16_t, kHistoryDays> days{};
    std::array<uint16_t, kHistoryMonths> months{};
};

struct LiveRecord {
    uint16_t number = 0;
    uint16_t power = 0;  // watts
    char state = kStateOn;
};

// Records 1..15 in reply order: loads 1..12, spare 13, consumption 14, solar 15.
using LiveSnapshot = std::array<LiveRecord, kLiveRecords>;

// 8-bit sum modulo 256, the trailer of every polling reply.
uint8_t additiveChecksum(const uint8_t* data, size_t size);

// A few non-zero identification bytes; the program only needs bytes 0 and 1 non-zero.
std::vector<uint8_t> composeProbeReply();

// 114 bytes: "COMDAY" or "SOLDAY", 40 u16 LE days, "MON", 12 u16 LE months, checksum.
std::vector<uint8_t> composeHistoryReply(bool solar, const EnergyHistory& history);

// 121 bytes: 15 records of "S", 2 unused bytes, number u16 BE, power u16 LE, state; checksum.
std::vector<uint8_t> composeLiveReply(const LiveSnapshot& snapshot);

}  // namespace metersim
