#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/store/ChannelName.h"

namespace {

std::string repeated(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

struct NameCase {
    const char* name;
    std::string input;
    std::string stored;
};

TEST(ChannelName, LongNamesAreCutAtACharacterBoundary) {
    const std::string a62 = repeated("a", 62), a61 = repeated("a", 61), a60 = repeated("a", 60);
    const NameCase cases[] = {
        {"63 bytes are kept whole", repeated("a", 63), repeated("a", 63)},
        {"64 bytes lose the last", repeated("a", 64), repeated("a", 63)},
        {"two-byte character across the end is dropped", a62 + "\xC3\xA9", a62},
        {"three-byte character across the end is dropped", a61 + "\xE2\x82\xAC", a61},
        {"three-byte character that just fits is kept", a60 + "\xE2\x82\xAC", a60 + "\xE2\x82\xAC"},
        {"four-byte character across the end is dropped", a60 + "\xF0\x9F\x98\x80", a60},
        {"only two-byte characters", repeated("\xC3\xA4", 40), repeated("\xC3\xA4", 31)},
        {"empty name", "", ""},
    };
    ChannelRecord unterminated;
    std::memset(&unterminated, 'n', sizeof(unterminated));
    EXPECT_EQ(channelName(unterminated), repeated("n", 64)) << "read within the field";

    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        ChannelRecord record;
        std::memset(&record, 'x', sizeof(record));  // a longer name held before
        storeChannelName(record, c.input);
        EXPECT_EQ(channelName(record), c.stored);
        // Terminated and padded: nothing of the previous name survives.
        for (size_t i = c.stored.size(); i < sizeof(record.name); ++i) {
            ASSERT_EQ(record.name[i], '\0') << "byte " << i;
        }
        EXPECT_EQ(record.number, 0x7878) << "the fields after the name are left alone";
    }
}

}  // namespace
