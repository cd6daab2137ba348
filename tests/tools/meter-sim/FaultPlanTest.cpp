#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/meter-sim/FaultPlan.h"
#include "tools/meter-sim/ReplyComposer.h"
#include "tools/meter-sim/SimulatorOptions.h"

using namespace metersim;

namespace {

std::vector<uint8_t> liveReply() {
    LiveSnapshot s;
    for (int r = 0; r < kLiveRecords; ++r) s[r] = {static_cast<uint16_t>(r + 1), 100, '1'};
    return composeLiveReply(s);
}

bool checksumPasses(const std::vector<uint8_t>& reply) {
    return reply.size() >= 2 && additiveChecksum(reply.data(), reply.size() - 1) == reply.back();
}

}  // namespace

TEST(FaultPlan, EachFaultSpoilsTheReplyItsWay) {
    const std::vector<uint8_t> healthy = liveReply();
    struct Case {
        const char* name;
        FaultOptions options;
        // Sizes of the first four replies on the line (0: nothing sent) and checksum result.
        std::vector<size_t> sizes;
        bool checksumOk;
    };
    FaultOptions none, silent, after2, dropout, drop, corrupt, cut, join;
    silent.silentAfter = 0;
    after2.silentAfter = 2;
    dropout.silentAfter = 1;
    dropout.silentFor = 2;
    drop.dropPercent = 100;
    corrupt.corruptPercent = 100;
    cut.shortPercent = 100;
    join.joinPercent = 100;
    const std::vector<Case> cases = {
        {"healthy", none, {121, 121, 121, 121}, true},
        {"silent", silent, {0, 0, 0, 0}, false},
        {"silent after two", after2, {121, 121, 0, 0}, true},
        {"silent for two after one, then back", dropout, {121, 0, 0, 121}, true},
        {"drop all", drop, {0, 0, 0, 0}, false},
        {"corrupt all", corrupt, {121, 121, 121, 121}, false},
        {"join all: held, then two in one go", join, {0, 242, 0, 242}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultPlan plan(c.options, 1);
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            const ReplyShape shape = plan.shape(healthy, false);
            ASSERT_EQ(shape.bytes.size(), c.sizes[i]) << "reply " << i;
            if (shape.bytes.size() == healthy.size()) {
                EXPECT_EQ(checksumPasses(shape.bytes), c.checksumOk);
            }
            if (c.sizes[i] == 2 * healthy.size()) {
                EXPECT_TRUE(std::equal(healthy.begin(), healthy.end(), shape.bytes.begin()));
            }
        }
    }
    // Short replies end early but are never empty, so the link sees an answer that fails.
    FaultPlan shortPlan(cut, 1);
    for (int i = 0; i < 200; ++i) {
        const ReplyShape shape = shortPlan.shape(healthy, false);
        ASSERT_GE(shape.bytes.size(), 1u);
        ASSERT_LT(shape.bytes.size(), healthy.size());
    }
}

TEST(FaultPlan, SwitchAnswersAndBabble) {
    FaultOptions badAck;
    badAck.badAck = true;
    badAck.corruptPercent = 100;  // must not touch a one-byte acknowledgement
    FaultPlan plan(badAck, 1);
    EXPECT_EQ(plan.shape({kSwitchAck}, true).bytes, std::vector<uint8_t>{kSwitchNak});
    FaultPlan healthy(FaultOptions{}, 1);
    EXPECT_EQ(healthy.shape({kSwitchAck}, true).bytes, std::vector<uint8_t>{kSwitchAck});

    FaultOptions babble;
    babble.babbleAfter = 1;
    FaultPlan babbler(babble, 1);
    EXPECT_EQ(babbler.shape(liveReply(), false).bytes.size(), 121u);
    EXPECT_FALSE(babbler.babbling());
    EXPECT_TRUE(babbler.shape(liveReply(), false).bytes.empty());
    EXPECT_TRUE(babbler.babbling());
    EXPECT_TRUE(babbler.shape({kSwitchAck}, true).bytes.empty());  // babble never ends
    EXPECT_TRUE(babbler.babbling());
}

TEST(FaultPlan, SameSeedSameFaults) {
    FaultOptions mixed;
    mixed.dropPercent = 20;
    mixed.corruptPercent = 20;
    mixed.shortPercent = 20;
    mixed.joinPercent = 20;
    auto run = [&](uint64_t seed) {
        FaultPlan plan(mixed, seed);
        std::vector<std::vector<uint8_t>> out;
        for (int i = 0; i < 300; ++i) out.push_back(plan.shape(liveReply(), false).bytes);
        return out;
    };
    const auto first = run(77);
    EXPECT_EQ(first, run(77));
    EXPECT_NE(first, run(78));
    int clean = 0;
    for (const auto& reply : first) clean += reply.size() == 121 && checksumPasses(reply);
    // About half pass untouched (0.8^3 of the sent ones); none of the faults is stuck on or off.
    EXPECT_GT(clean, 60);
    EXPECT_LT(clean, 240);
}

TEST(SimulatorOptions, RejectsValuesOutOfRangeOrMalformed) {
    const std::vector<std::vector<std::string>> bad = {
        {"--port", "0"},  {"--port", "100"}, {"--port", "1x"}, {"--port", " 1"}, {"--drop", "101"},
        {"--drop", "-1"}, {"--delay"},       {"--seed", ""},   {"--frobnicate"},
    };
    for (const auto& args : bad) {
        SimulatorOptions rejected;
        std::string error;
        EXPECT_FALSE(parseSimOptions(args, rejected, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimulatorOptions, HelpDocumentsEveryOption) {
    const std::string usage = simUsage();
    for (const char* option :
         {"--dir", "--port", "--seed", "--start-time", "--baud", "--log", "--silent",
          "--silent-after", "--silent-for", "--drop", "--corrupt", "--short", "--join", "--delay", "--trickle",
          "--babble", "--babble-after", "--bad-ack", "--help"}) {
        EXPECT_NE(usage.find(std::string("  ") + option + " "), std::string::npos) << option;
    }
}
