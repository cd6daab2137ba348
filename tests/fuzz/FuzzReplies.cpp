// Replies from a device that may send anything: the decoders and the link's failure counter
// must never read past a reply, never crash, and keep the counter within 0..13.
//
// Input: a sequence of replies, each a little-endian u16 length then that many bytes
// (clipped to what is left). They answer, in turn, the exchanges of polling ticks (history 1,
// history 14, live), so the same input also drives the link through open and closed states.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <span>
#include <string_view>

#include "core/base/MessageSink.h"
#include "core/device/Protocol.h"
#include "core/device/SerialLink.h"
#include "fakes/FakeClock.h"
#include "fakes/ScriptedSerialPort.h"

namespace {

struct SilentSink final : MessageSink {
    void show(const std::string&) override {}
};

void check(bool condition) {
    if (!condition) std::abort();
}

std::deque<std::vector<uint8_t>> splitReplies(const uint8_t* data, size_t size) {
    std::deque<std::vector<uint8_t>> replies;
    size_t pos = 0;
    while (pos + 2 <= size && replies.size() < 64) {
        size_t length = data[pos] | (data[pos + 1] << 8);
        pos += 2;
        length = std::min(length, size - pos);
        replies.emplace_back(data + pos, data + pos + length);
        pos += length;
    }
    return replies;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> whole(data, size);

    // The pure decoders on the raw input.
    int32_t day[kDays] = {};
    int32_t month[kMonths] = {};
    protocol::checksumPasses(whole);
    protocol::isProbeAnswer(whole);
    for (uint8_t command : {uint8_t{1}, uint8_t{14}, uint8_t{7}}) {
        protocol::decodeHistory(whole, command, day, month);
    }
    ChannelTable table{};
    check(protocol::decodeLive(whole, table) <= protocol::kLiveRecords);
    check(table[kTotalRecord].power == 0);
    protocol::parseSwitchRequest(
        std::string_view(reinterpret_cast<const char*>(data), std::min<size_t>(size, 512)));

    // The same bytes as a conversation with the link.
    auto replies = splitReplies(data, size);
    ScriptedPortOpener ports;
    auto device = ports.attach(1);
    device->answer = [&replies](const ScriptedDevice::Bytes& frame) {
        // The probe always answers, so the link opens; every other frame takes the next reply.
        if (frame.size() == 4 && frame[1] == protocol::kProbe) return ScriptedDevice::Bytes{1, 1};
        if (replies.empty()) return ScriptedDevice::Bytes{};
        auto reply = std::move(replies.front());
        replies.pop_front();
        return reply;
    };
    SilentSink sink;
    FakeClock clock;
    SerialLink link(ports, sink, clock);
    link.setHistoryDumpPath("/dev/null");
    check(link.openDevice());
    ChannelTable live{};
    while (!replies.empty() && link.isOpen()) {
        link.readHistory(day, month, protocol::kConsumptionHistory);
        link.readHistory(day, month, protocol::kSolarHistory);
        link.readLive(live);
        check(link.failureCount() >= 0 && link.failureCount() <= 13);
        check(live[kTotalRecord].power == 0);
    }
    link.closeLink();
    check(!link.isOpen() && link.failureCount() == 0);
    return 0;
}
