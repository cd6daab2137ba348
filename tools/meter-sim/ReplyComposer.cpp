#include "tools/meter-sim/ReplyComposer.h"

#include <cstring>

namespace metersim {

uint8_t additiveChecksum(const uint8_t* data, size_t size) {
    uint8_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + data[i]);
    return sum;
}

std::vector<uint8_t> composeProbeReply() {
    // Model letters and firmware revision; none of them is zero.
    std::vector<uint8_t> reply = {'K', 'M', '1', '6', 0x01, 0x02};
    reply.push_back(additiveChecksum(reply.data(), reply.size()));
    if (reply.back() == 0) reply.back() = 0xFF;
    return reply;
}

namespace {

void putLe16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

}  // namespace

std::vector<uint8_t> composeHistoryReply(bool solar, const EnergyHistory& history) {
    std::vector<uint8_t> reply;
    reply.reserve(kHistoryReplySize);
    const char* header = solar ? "SOLDAY" : "COMDAY";
    reply.insert(reply.end(), header, header + 6);
    for (uint16_t day : history.days) putLe16(reply, day);
    reply.insert(reply.end(), {'M', 'O', 'N'});
    for (uint16_t month : history.months) putLe16(reply, month);
    reply.push_back(additiveChecksum(reply.data(), reply.size()));
    return reply;
}

std::vector<uint8_t> composeLiveReply(const LiveSnapshot& snapshot) {
    std::vector<uint8_t> reply;
    reply.reserve(kLiveReplySize);
    for (const LiveRecord& record : snapshot) {
        reply.push_back('S');
        reply.push_back(0);
        reply.push_back(0);
        // The meter sends the channel number high byte first but the power low byte first.
        reply.push_back(static_cast<uint8_t>(record.number >> 8));
        reply.push_back(static_cast<uint8_t>(record.number & 0xFF));
        putLe16(reply, record.power);
        reply.push_back(static_cast<uint8_t>(record.state));
    }
    reply.push_back(additiveChecksum(reply.data(), reply.size()));
    return reply;
}

}  // namespace metersim
