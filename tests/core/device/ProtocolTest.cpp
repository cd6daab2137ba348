#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/device/Protocol.h"
#include "support/MeterReplies.h"

using Bytes = std::vector<uint8_t>;

namespace {

// A 114-byte history reply: day 0 = 0x1234, day 39 = 0xFFFF, month 0 = 0x0201, month 11 =
// 0x0010, every other value 0. The checksum byte is made wrong: decoders do not test it.
Bytes historyReply(const char* header, const char* monthTag = "MON") {
    MeterHistory history;
    history.days[0] = 0x1234;
    history.days[39] = 0xFFFF;
    history.months[0] = 0x0201;
    history.months[11] = 0x0010;
    Bytes reply = meterHistoryReply(header, history, monthTag);
    reply.back() ^= 0xFF;
    return reply;
}

Bytes withoutLastByte(Bytes bytes) {
    bytes.pop_back();
    return bytes;
}

}  // namespace

TEST(Checksum, LastByteIsEightBitSumOfTheRest) {
    struct Case {
        Bytes reply;
        bool passes;
    } cases[] = {
        {{'a', 'b', 'c', 0x26}, true},  // 0x126 wraps to 0x26
        {{'a', 'b', 'c', 0x27}, false}, {{}, false},          {{0x00}, true},
        {{0xFF, 0x01, 0x00}, true},     {{0x05, 0x05}, true}, {{0x05, 0x04}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(protocol::checksumPasses(c.reply), c.passes) << ::testing::PrintToString(c.reply);
    }
}

TEST(HistoryDecoding, HeaderMonthTagAndLengthDecideWhatIsStored) {
    struct Case {
        const char* what;
        Bytes reply;
        uint8_t command;
        bool daysStored;
        bool monthsStored;
    } cases[] = {
        {"consumption", historyReply("COMDAY"), 1, true, true},
        {"solar", historyReply("SOLDAY"), 14, true, true},
        {"solar header on consumption command", historyReply("SOLDAY"), 1, false, false},
        {"consumption header on solar command", historyReply("COMDAY"), 14, false, false},
        {"other command has no header test", historyReply("XYZXYZ"), 7, true, true},
        {"month tag missing", historyReply("COMDAY", "MOM"), 1, true, false},
        {"one byte short", withoutLastByte(historyReply("COMDAY")), 1, false, false},
        {"empty reply", Bytes{}, 1, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t day[kDays];
        int32_t month[kMonths];
        std::fill(std::begin(day), std::end(day), -1);
        std::fill(std::begin(month), std::end(month), -1);

        EXPECT_EQ(protocol::decodeHistory(c.reply, c.command, day, month), c.daysStored);
        EXPECT_EQ(day[0], c.daysStored ? 0x1234 : -1);
        EXPECT_EQ(day[1], c.daysStored ? 0 : -1);
        EXPECT_EQ(day[39], c.daysStored ? 65535 : -1);
        EXPECT_EQ(month[0], c.monthsStored ? 0x0201 : -1);
        EXPECT_EQ(month[11], c.monthsStored ? 16 : -1);
    }
}

TEST(LiveDecoding, ChannelNumberBigEndianPowerLittleEndian) {
    ChannelTable table{};
    table[0].power = 777;
    Bytes reply(121, 0);
    for (int r = 0; r < 15; ++r) {
        reply[8 * r] = 'S';
    }
    // Record 1: bytes 3,4 = 01 02 (number 0x0102), bytes 5,6 = 01 02 (power 0x0201).
    const uint8_t first[] = {'S', 0xEE, 0xEE, 0x01, 0x02, 0x01, 0x02, '1'};
    std::copy(std::begin(first), std::end(first), reply.begin());
    // Record 15: number 15, power 65535, off.
    const uint8_t last[] = {'S', 0, 0, 0x00, 0x0F, 0xFF, 0xFF, '3'};
    std::copy(std::begin(last), std::end(last), reply.begin() + 112);

    EXPECT_EQ(protocol::decodeLive(reply, table), 15);
    EXPECT_EQ(table[1].number, 0x0102);
    EXPECT_EQ(table[1].power, 0x0201u);
    EXPECT_EQ(table[1].state, '1');
    EXPECT_EQ(table[15].number, 15);
    EXPECT_EQ(table[15].power, 65535u);
    EXPECT_EQ(table[15].state, '3');
    EXPECT_EQ(table[0].power, 777u);  // Total belongs to the sampling tick
}

TEST(LiveDecoding, StopsAtMissingMarkerOrIncompleteRecord) {
    struct Case {
        const char* what;
        size_t length;          // reply length, checksum byte included
        int recordWithoutMark;  // 0: every record marked
        int stored;
    } cases[] = {
        {"third record without S", 121, 3, 2},
        {"first record without S", 121, 1, 0},
        {"two records, half a third, checksum", 8 * 2 + 4 + 1, 0, 2},
        {"exactly two records and checksum", 8 * 2 + 1, 0, 2},
        {"two records without checksum byte", 8 * 2, 0, 1},
        {"empty", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChannelTable table{};
        for (ChannelRecord& record : table) {
            record.number = 99;
            record.power = 99;
            record.state = '3';
        }
        Bytes reply(c.length, 0);
        for (size_t at = 0; at < c.length; at += 8) {
            reply[at] = 'S';
            if (at + 7 < c.length) {
                reply[at + 7] = '1';
            }
        }
        if (c.recordWithoutMark > 0) {
            reply[8 * static_cast<size_t>(c.recordWithoutMark - 1)] = 's';
        }

        EXPECT_EQ(protocol::decodeLive(reply, table), c.stored);
        for (int r = 1; r <= 15; ++r) {
            const bool stored = r <= c.stored;
            EXPECT_EQ(table[r].power, stored ? 0u : 99u) << "record " << r;
            EXPECT_EQ(table[r].state, stored ? '1' : '3') << "record " << r;
        }
    }
}

TEST(SwitchRequest, EntriesEndAtCommasAndStateZeroMeansOn) {
    using E = protocol::SwitchEntry;
    struct Case {
        std::string request;
        std::vector<E> entries;
    } cases[] = {
        {"05,112,", {{3, 5}, {4, 12}}},
        {"05", {}},
        {"", {}},
        {"05,112", {{3, 5}}},
        {"13,", {{4, 3}}},
        {"x7,", {{4, 7}}},
        {",,01,", {{3, 1}}},
        {"0300,", {{3, 300 % 256}}},
        {"0,", {{3, 0}}},
        {"099999999999999999999,", {{3, 255}}},  // 10^20 - 1, far past any integer type
    };
    for (const Case& c : cases) {
        EXPECT_EQ(protocol::parseSwitchRequest(c.request), c.entries) << '"' << c.request << '"';
    }
}
