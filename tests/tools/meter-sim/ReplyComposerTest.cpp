#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/meter-sim/CommandFrameScanner.h"
#include "tools/meter-sim/ReplyComposer.h"

using namespace metersim;

namespace {

uint8_t sumOf(const std::vector<uint8_t>& bytes, size_t count) {
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<uint8_t>(sum % 256);
}

}  // namespace

TEST(ReplyComposer, ChecksumIsTheByteSumModulo256) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(additiveChecksum(abc, 3), 0x26);  // 0x126 truncated
    EXPECT_EQ(additiveChecksum(abc, 0), 0);
}

TEST(ReplyComposer, HistoryReplyMatchesTheLayoutByteForByte) {
    EnergyHistory history;
    for (int i = 0; i < kHistoryDays; ++i)
        history.days[i] = static_cast<uint16_t>(0x0100 * i + i + 1);
    for (int j = 0; j < kHistoryMonths; ++j) history.months[j] = static_cast<uint16_t>(0xF000 + j);

    for (const auto& [solar, header] : {std::pair{false, "COMDAY"}, std::pair{true, "SOLDAY"}}) {
        SCOPED_TRACE(header);
        const std::vector<uint8_t> reply = composeHistoryReply(solar, history);
        ASSERT_EQ(reply.size(), 114u);
        EXPECT_EQ(std::string(reply.begin(), reply.begin() + 6), header);
        // Day 0 = 0x0001 and day 39 = 0x2728, low byte first.
        EXPECT_EQ(reply[6], 0x01);
        EXPECT_EQ(reply[7], 0x00);
        EXPECT_EQ(reply[6 + 2 * 39], 0x28);
        EXPECT_EQ(reply[7 + 2 * 39], 0x27);
        EXPECT_EQ(std::string(reply.begin() + 86, reply.begin() + 89), "MON");
        EXPECT_EQ(reply[89], 0x00);  // month 0 = 0xF000
        EXPECT_EQ(reply[90], 0xF0);
        EXPECT_EQ(reply[89 + 2 * 11], 0x0B);
        EXPECT_EQ(reply[90 + 2 * 11], 0xF0);
        EXPECT_EQ(reply[113], sumOf(reply, 113));
    }
}

TEST(ReplyComposer, LiveRecordsCarryNumberHighByteFirstAndPowerLowByteFirst) {
    LiveSnapshot snapshot;
    for (int r = 0; r < kLiveRecords; ++r)
        snapshot[r] = {static_cast<uint16_t>(0x0100 + r + 1), static_cast<uint16_t>(0x3000 + r),
                       r == 4 ? kStateOff : kStateOn};
    const std::vector<uint8_t> reply = composeLiveReply(snapshot);
    ASSERT_EQ(reply.size(), 121u);
    for (int r = 0; r < kLiveRecords; ++r) {
        SCOPED_TRACE(r);
        const uint8_t* rec = reply.data() + 8 * r;
        EXPECT_EQ(rec[0], 'S');
        EXPECT_EQ(rec[3], 0x01);  // number high byte
        EXPECT_EQ(rec[4], r + 1);
        EXPECT_EQ(rec[5], r);  // power low byte
        EXPECT_EQ(rec[6], 0x30);
        EXPECT_EQ(rec[7], r == 4 ? '3' : '1');
    }
    EXPECT_EQ(reply[120], sumOf(reply, 120));
}

TEST(CommandFrameScanner, CutsFramesOutOfAnyStream) {
    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> chunks;
        std::vector<std::pair<uint8_t, uint8_t>> frames;
        size_t skipped;
    };
    const std::vector<Case> cases = {
        {"one frame", {{0xAA, 2, 0, 0xAD}}, {{2, 0}}, 0},
        {"two frames in one read", {{0xAA, 1, 0, 0xAD, 0xAA, 3, 5, 0xAD}}, {{1, 0}, {3, 5}}, 0},
        {"split byte by byte", {{0xAA}, {14}, {0}, {0xAD}}, {{14, 0}}, 0},
        {"noise before", {{0x00, 0x13, 0xAA, 4, 12, 0xAD}}, {{4, 12}}, 2},
        {"broken frame then a good one", {{0xAA, 2, 0, 0x00, 0xAA, 2, 0, 0xAD}}, {{2, 0}}, 4},
        {"start byte inside a broken frame", {{0xAA, 0xAA, 2, 0, 0xAD}}, {{2, 0}}, 1},
        {"argument equal to the start byte", {{0xAA, 3, 0xAA, 0xAD}}, {{3, 0xAA}}, 0},
        {"unfinished frame", {{0xAA, 2, 0}}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CommandFrameScanner scanner;
        std::vector<CommandFrame> frames;
        size_t skipped = 0;
        for (const auto& chunk : c.chunks)
            skipped += scanner.feed(chunk.data(), chunk.size(), frames);
        ASSERT_EQ(frames.size(), c.frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].command, c.frames[i].first);
            EXPECT_EQ(frames[i].argument, c.frames[i].second);
        }
        EXPECT_EQ(skipped, c.skipped);
    }
}

TEST(CommandFrameScanner, ResetDropsAHalfReceivedFrame) {
    CommandFrameScanner scanner;
    std::vector<CommandFrame> frames;
    const uint8_t head[] = {0xAA, 2};
    const uint8_t next[] = {0xAA, 1, 0, 0xAD};
    scanner.feed(head, sizeof head, frames);
    scanner.reset();
    scanner.feed(next, sizeof next, frames);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, 1);
}
