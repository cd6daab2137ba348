#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/store/ChannelRecord.h"
#include "core/store/EnergyTables.h"

// The metering device's command set and reply layouts, as pure functions on bytes.
namespace protocol {

// Every command is one 4-byte frame: 0xAA, command code, argument, 0xAD.
inline constexpr uint8_t kFrameStart = 0xAA;
inline constexpr uint8_t kFrameEnd = 0xAD;
inline constexpr size_t kFrameSize = 4;

inline constexpr uint8_t kProbe = 0;
inline constexpr uint8_t kConsumptionHistory = 1;
inline constexpr uint8_t kLive = 2;
inline constexpr uint8_t kSwitchOn = 3;
inline constexpr uint8_t kSwitchOff = 4;
inline constexpr uint8_t kSolarHistory = 14;

// A switch command is acknowledged by a reply whose first byte is carriage return.
inline constexpr uint8_t kSwitchAck = 0x0D;

// History reply: "COMDAY"/"SOLDAY", 40 u16 LE day values, "MON", 12 u16 LE month values,
// checksum.
inline constexpr size_t kHistoryReplySize = 114;
inline constexpr size_t kHistoryDaysOffset = 6;
inline constexpr size_t kHistoryMonthTagOffset = 86;
inline constexpr size_t kHistoryMonthsOffset = 89;

// Live reply: fifteen 8-byte records for channel records 1..15, then the checksum.
inline constexpr size_t kLiveRecordSize = 8;
inline constexpr int kLiveRecords = 15;
inline constexpr size_t kLiveReplySize = kLiveRecordSize * kLiveRecords + 1;

using Frame = std::array<uint8_t, kFrameSize>;
Frame buildFrame(uint8_t command, uint8_t argument = 0);

// The last byte is the 8-bit sum of all bytes before it. An empty reply never passes.
bool checksumPasses(std::span<const uint8_t> reply);

// The probe is answered by at least two bytes, the first two non-zero.
bool isProbeAnswer(std::span<const uint8_t> reply);

// Decodes a history reply (checksum byte included) into the series. Command 1 requires the
// header "COMDAY", command 14 "SOLDAY", other codes are decoded without a header test. The
// month series is only written when "MON" stands at its place. A reply shorter than the
// layout stores nothing. True when the day series was stored.
bool decodeHistory(std::span<const uint8_t> reply, uint8_t command, int32_t (&day)[kDays],
                   int32_t (&month)[kMonths]);

// Decodes a live reply into records 1..15 of the table, stopping at the first record that
// does not start with 'S' or does not lie whole before the checksum byte. Record 0 (Total)
// is never written. Returns the number of records stored.
int decodeLive(std::span<const uint8_t> reply, ChannelTable& table);

// One entry of a channel switch request: "05," asks for channel 5 on, "112," channel 12 off.
struct SwitchEntry {
    uint8_t command;  // kSwitchOn or kSwitchOff
    uint8_t channel;  // sent as the frame's argument
    bool operator==(const SwitchEntry&) const = default;
};

// Splits the request into its complete entries (text after the last comma is ignored).
// State character '0' asks for on, any other for off; the decimal number after it is the
// channel, taken modulo 256 as the frame has one byte for it. Empty entries are skipped.
std::vector<SwitchEntry> parseSwitchRequest(std::string_view request);

}  // namespace protocol
