#include "core/device/Protocol.h"

#include <cstring>

namespace protocol {

namespace {

// Energy values and powers are u16 little-endian; the live channel number is big-endian.
int32_t u16le(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<int32_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

uint16_t u16be(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

bool textAt(std::span<const uint8_t> bytes, size_t offset, std::string_view text) {
    return bytes.size() >= offset + text.size() &&
           std::memcmp(bytes.data() + offset, text.data(), text.size()) == 0;
}

}  // namespace

Frame buildFrame(uint8_t command, uint8_t argument) {
    return Frame{kFrameStart, command, argument, kFrameEnd};
}

bool checksumPasses(std::span<const uint8_t> reply) {
    if (reply.empty()) {
        return false;
    }
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < reply.size(); ++i) {
        sum = static_cast<uint8_t>(sum + reply[i]);
    }
    return sum == reply.back();
}

bool isProbeAnswer(std::span<const uint8_t> reply) {
    return reply.size() >= 2 && reply[0] != 0 && reply[1] != 0;
}

bool decodeHistory(std::span<const uint8_t> reply, uint8_t command, int32_t (&day)[kDays],
                   int32_t (&month)[kMonths]) {
    if (reply.size() < kHistoryReplySize) {
        return false;
    }
    if (command == kConsumptionHistory && !textAt(reply, 0, "COMDAY")) {
        return false;
    }
    if (command == kSolarHistory && !textAt(reply, 0, "SOLDAY")) {
        return false;
    }
    for (int i = 0; i < kDays; ++i) {
        day[i] = u16le(reply, kHistoryDaysOffset + 2 * static_cast<size_t>(i));
    }
    if (textAt(reply, kHistoryMonthTagOffset, "MON")) {
        for (int j = 0; j < kMonths; ++j) {
            month[j] = u16le(reply, kHistoryMonthsOffset + 2 * static_cast<size_t>(j));
        }
    }
    return true;
}

int decodeLive(std::span<const uint8_t> reply, ChannelTable& table) {
    // Record bytes end before the checksum byte.
    const size_t payload = reply.empty() ? 0 : reply.size() - 1;
    int stored = 0;
    for (int r = 1; r <= kLiveRecords; ++r) {
        const size_t at = kLiveRecordSize * static_cast<size_t>(r - 1);
        if (at + kLiveRecordSize > payload || reply[at] != 'S') {
            break;
        }
        ChannelRecord& record = table[static_cast<size_t>(r)];
        record.number = u16be(reply, at + 3);
        record.power = static_cast<uint32_t>(u16le(reply, at + 5));
        record.state = reply[at + 7];
        ++stored;
    }
    return stored;
}

std::vector<SwitchEntry> parseSwitchRequest(std::string_view request) {
    std::vector<SwitchEntry> entries;
    size_t start = 0;
    for (size_t comma = request.find(','); comma != std::string_view::npos;
         start = comma + 1, comma = request.find(',', start)) {
        const std::string_view entry = request.substr(start, comma - start);
        if (entry.empty()) {
            continue;
        }
        // Leading decimal digits, like atoi; accumulate modulo 256 so no text overflows.
        unsigned channel = 0;
        for (size_t i = 1; i < entry.size() && entry[i] >= '0' && entry[i] <= '9'; ++i) {
            channel = (channel * 10 + static_cast<unsigned>(entry[i] - '0')) & 0xFFu;
        }
        entries.push_back(
            {entry[0] == '0' ? kSwitchOn : kSwitchOff, static_cast<uint8_t>(channel)});
    }
    return entries;
}

}  // namespace protocol
