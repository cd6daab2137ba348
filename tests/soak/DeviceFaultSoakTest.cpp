// The program's serial link against the meter simulator over a real pseudo-terminal, for
// thousands of exchanges with every fault the simulator can put on the line: dropped,
// corrupted, cut-off, joined, late and trickled replies and a meter that starts babbling.
//
// The model: every value the link accepts into a table must be one the simulator sent, whole,
// in a reply to that same command. The simulator's frame log holds the bytes of every reply
// it sent, so after the run each table state seen between exchanges is looked up among them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/device/Protocol.h"
#include "core/device/SerialLink.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/SimProcess.h"
#include "support/SoakScale.h"
#include "tools/meter-sim/ReplyComposer.h"

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

using Bytes = std::vector<uint8_t>;
// 40 day values then 12 month values, as one history reply carries them.
using HistoryImage = std::vector<int32_t>;
// Number, power and state of records 1..15, as one live reply carries them.
using LiveImage = std::vector<uint32_t>;

constexpr int kSentinel = -1;  // a history value no 16-bit count can take

// Replies found in the simulator's frame log, by the command they answer.
struct SentReplies {
    std::set<HistoryImage> consumption;
    std::set<HistoryImage> solar;
    std::set<LiveImage> live;
};

uint8_t sum8(const Bytes& bytes, size_t from, size_t size) {
    uint8_t sum = 0;
    for (size_t i = from; i < from + size; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    return sum;
}

Bytes parseHex(const std::string& text) {
    Bytes bytes;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair) bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    return bytes;
}

// Every whole, checksum-correct reply inside the bytes sent for one command: a joined
// transmission carries two.
void collectReplies(const Bytes& tx, SentReplies& sent) {
    for (size_t p = 0; p < tx.size(); ++p) {
        const size_t left = tx.size() - p;
        if (left >= protocol::kHistoryReplySize && sum8(tx, p, protocol::kHistoryReplySize - 1) ==
                                                       tx[p + protocol::kHistoryReplySize - 1]) {
            const std::string header(tx.begin() + static_cast<long>(p),
                                     tx.begin() + static_cast<long>(p) + 6);
            if (header == "COMDAY" || header == "SOLDAY") {
                HistoryImage image;
                for (int i = 0; i < kDays + kMonths; ++i) {
                    const size_t at =
                        p + (i < kDays ? protocol::kHistoryDaysOffset + 2 * i
                                       : protocol::kHistoryMonthsOffset + 2 * (i - kDays));
                    image.push_back(tx[at] | (tx[at + 1] << 8));
                }
                (header == "COMDAY" ? sent.consumption : sent.solar).insert(image);
            }
        }
        if (left >= protocol::kLiveReplySize &&
            sum8(tx, p, protocol::kLiveReplySize - 1) == tx[p + protocol::kLiveReplySize - 1]) {
            LiveImage image;
            bool marked = true;
            for (size_t r = 0; r < 15 && marked; ++r) {
                const size_t at = p + 8 * r;
                marked = tx[at] == 'S';
                image.push_back(static_cast<uint32_t>((tx[at + 3] << 8) | tx[at + 4]));
                image.push_back(static_cast<uint32_t>(tx[at + 5] | (tx[at + 6] << 8)));
                image.push_back(tx[at + 7]);
            }
            if (marked) sent.live.insert(image);
        }
    }
}

SentReplies readFrameLog(const std::string& path) {
    SentReplies sent;
    std::ifstream log(path);
    std::string line;
    while (std::getline(log, line)) {
        const size_t tx = line.find(" tx ");
        if (tx != std::string::npos) collectReplies(parseHex(line.substr(tx + 4)), sent);
    }
    return sent;
}

HistoryImage historyImage(const int32_t (&day)[kDays], const int32_t (&month)[kMonths]) {
    HistoryImage image(day, day + kDays);
    image.insert(image.end(), month, month + kMonths);
    return image;
}

LiveImage liveImage(const ChannelTable& table) {
    LiveImage image;
    for (int r = 1; r <= 15; ++r) {
        image.push_back(table[r].number);
        image.push_back(table[r].power);
        image.push_back(table[r].state);
    }
    return image;
}

struct SoakCase {
    const char* what;
    std::vector<std::string> args;
    int exchanges;        // in the plain build
    bool expectAccepted;  // replies of every command reach the tables
    int closedBy;         // the link must be closed after this exchange; 0: no such limit
    bool reconnectFinds;  // a Connect after a close finds the meter again
};

struct Figures {
    long exchanges = 0;
    long accepted = 0;    // exchanges that changed a table
    long unanswered = 0;  // exchanges that raised the failure counter
    long closes = 0;      // links closed by the failure limit
    long reconnects = 0;  // Connects that found the meter again
    long slowest = 0;     // ms, the longest exchange
};

// Each case its own test, so that the cases' waits on the line overlap with other tests.
std::vector<SoakCase> soakCases() {
    const int babbleFrom = soakCount(150, 3, 30);
    return {
        {"mixed faults",
         {"--drop", "15", "--corrupt", "15", "--short", "15", "--join", "15"},
         900,
         true,
         0,
         true},
        {"joined replies", {"--join", "50", "--seed", "11"}, 300, true, 0, true},
        {"mostly missing", {"--drop", "90", "--seed", "3"}, 300, true, 0, true},
        {"late within the read", {"--delay", "20"}, 150, true, 0, true},
        {"trickled", {"--trickle", "2"}, 45, true, 0, true},
        // The probe is the meter's command 0, so noise starts with exchange babbleFrom and
        // the 14th noisy exchange closes the link (a reply lost to a busy machine before
        // that moves it on by a few); the meter is then no longer found.
        {"babbling",
         {"--babble-after", std::to_string(babbleFrom)},
         babbleFrom + 50,
         true,
         babbleFrom + 20,
         false},
    };
}

class DeviceFaultSoak : public ::testing::TestWithParam<size_t> {};

}  // namespace

// The line timings shortened so thousands of exchanges fit in two minutes: the empty read
// from 1.3 s to 30 ms, the quiet gap that ends a reply from 20 to 15 ms (at 115,200 baud a
// byte takes 87 us). Every exchange still ends with one empty read.
TEST_P(DeviceFaultSoak, EveryAcceptedValueIsOneTheMeterSentForThatCommand) {
    const SerialTimings timings{15ms, 30ms, 500ms};
    const SoakCase c = soakCases()[GetParam()];
    SimProcess sim;
    const std::string log = sim.dir() + "/frames.log";
    std::vector<std::string> args = {"--baud", "115200", "--log", log};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_TRUE(sim.start(args));
    ::mkdir((sim.dir() + "/dev").c_str(), 0755);  // a machine without serial ports
    PosixSerialPorts ports(sim.dir(), timings, sim.dir() + "/dev");
    RecordingMessageSink messages;
    FakeClock clock;  // the link's own waits cost nothing; the line's timing is real
    SerialLink link(ports, messages, clock);
    link.setHistoryDumpPath(sim.dir() + "/History.dat");
    DayTable days;
    MonthTable months;
    std::fill(std::begin(days.consumption), std::end(days.consumption), kSentinel);
    std::fill(std::begin(days.solar), std::end(days.solar), kSentinel);
    std::fill(std::begin(months.consumption), std::end(months.consumption), kSentinel);
    std::fill(std::begin(months.solar), std::end(months.solar), kSentinel);
    ChannelTable table{};
    std::set<HistoryImage> seenConsumption, seenSolar;
    std::set<LiveImage> seenLive;

    Figures f;
    const bool mustClose = c.closedBy > 0;
    const int planned = mustClose ? c.exchanges : soakCount(c.exchanges, 3, 30);
    for (int n = 1; n <= planned; ++n) {
        if (!link.isOpen() && n == 1) {
            // The probe's reply may be dropped or held back too.
            for (int attempt = 0; attempt < 100 && !link.isOpen(); ++attempt) {
                link.openDevice();
            }
            ASSERT_TRUE(link.isOpen());
        } else if (!link.isOpen()) {
            // Connect again, as the user would, a bounded number of times.
            bool found = false;
            const int attempts = c.reconnectFinds ? 100 : 2;
            for (int attempt = 0; attempt < attempts && !found; ++attempt) {
                found = link.openDevice();
            }
            if (!c.reconnectFinds) {
                EXPECT_FALSE(found);
                break;
            }
            ASSERT_TRUE(found) << "exchange " << n;
            ++f.reconnects;
        }
        const int before = link.failureCount();
        const auto started = SteadyClock::now();
        switch (n % 3) {
            case 1: {
                const HistoryImage old = historyImage(days.consumption, months.consumption);
                link.readHistory(days.consumption, months.consumption,
                                 protocol::kConsumptionHistory);
                const HistoryImage now = historyImage(days.consumption, months.consumption);
                if (now != old) ++f.accepted, seenConsumption.insert(now);
                break;
            }
            case 2: {
                const HistoryImage old = historyImage(days.solar, months.solar);
                link.readHistory(days.solar, months.solar, protocol::kSolarHistory);
                const HistoryImage now = historyImage(days.solar, months.solar);
                if (now != old) ++f.accepted, seenSolar.insert(now);
                break;
            }
            default: {
                const LiveImage old = liveImage(table);
                link.readLive(table);
                const LiveImage now = liveImage(table);
                if (now != old) ++f.accepted, seenLive.insert(now);
                EXPECT_EQ(table[kTotalRecord].power, 0u);
                break;
            }
        }
        const long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - started)
                .count();
        f.slowest = std::max(f.slowest, ms);
        ++f.exchanges;

        // The failure counter: 0 after any reply, one up after none, and the link
        // closes only on the 14th unanswered exchange in a row.
        if (!link.isOpen()) {
            EXPECT_EQ(before, SerialLink::kFailureLimit) << "exchange " << n;
            EXPECT_EQ(link.failureCount(), 0);
            ++f.closes;
            ++f.unanswered;
        } else if (link.failureCount() != 0) {
            EXPECT_EQ(link.failureCount(), before + 1) << "exchange " << n;
            ++f.unanswered;
        }
        if (mustClose && n == c.closedBy) {
            EXPECT_FALSE(link.isOpen());
        }
    }
    EXPECT_LT(f.slowest, 2000) << "an exchange must end within its read bounds";
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(sim.stop(), 0);

    const SentReplies sent = readFrameLog(log);
    for (const HistoryImage& image : seenConsumption) {
        EXPECT_TRUE(sent.consumption.count(image))
            << "consumption history never sent as such, day 0 = " << image[0];
    }
    for (const HistoryImage& image : seenSolar) {
        EXPECT_TRUE(sent.solar.count(image))
            << "solar history never sent as such, day 0 = " << image[0];
    }
    for (const LiveImage& image : seenLive) {
        EXPECT_TRUE(sent.live.count(image)) << "live table never sent as such, record 1 number "
                                            << image[0] << " power " << image[1];
    }
    if (c.expectAccepted) {
        EXPECT_GT(seenConsumption.size(), 0u);
        EXPECT_GT(seenSolar.size(), 0u);
        EXPECT_GT(seenLive.size(), 0u);
    }

    if (mustClose) {
        EXPECT_EQ(f.closes, 1);
    }
    std::printf(
        "[soak] device %-22s exchanges %5ld answered %4ld table changes %4ld "
        "closes %3ld reconnects %3ld slowest %4ld ms\n",
        c.what, f.exchanges, f.exchanges - f.unanswered, f.accepted, f.closes, f.reconnects,
        f.slowest);
    RecordProperty("exchanges", static_cast<int>(f.exchanges));
    RecordProperty("accepted", static_cast<int>(f.accepted));
    RecordProperty("closes", static_cast<int>(f.closes));
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceFaultSoak, ::testing::Range<size_t>(0, soakCases().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             std::string name = soakCases()[info.param].what;
                             for (char& ch : name) ch = std::isalnum(ch) ? ch : '_';
                             return name;
                         });

// The same model at a pace no line allows, with a scripted meter that answers out of step:
// a reply one exchange late (so the live exchange meets the solar history reply, whose
// "SOLDAY" starts with 'S' like a live record), a late reply joined to the right one, a cut
// reply and silence, mixed at random. Every value it composes is unique to its command.
TEST(DeviceFaultSoak, RepliesOutOfStepNeverLandInAnotherCommandsTable) {
    SentReplies sent;
    std::mt19937 random(7);
    Bytes late;  // the reply held back for the next exchange
    uint16_t serial = 0;
    ScriptedPortOpener ports;
    long outOfStep = 0;
    ports.attach(1)->answer = [&](const Bytes& frame) -> Bytes {
        if (frame[1] == protocol::kProbe) return {'O', 'K'};
        ++serial;
        Bytes reply;
        if (frame[1] == protocol::kLive) {
            metersim::LiveSnapshot snapshot;
            for (int r = 0; r < metersim::kLiveRecords; ++r) {
                snapshot[r] = {static_cast<uint16_t>(r + 1), static_cast<uint16_t>(serial * 16 + r),
                               metersim::kStateOn};
            }
            reply = metersim::composeLiveReply(snapshot);
        } else {
            metersim::EnergyHistory history;
            for (int i = 0; i < kDays; ++i) history.days[i] = static_cast<uint16_t>(serial + i);
            for (int j = 0; j < kMonths; ++j) {
                history.months[j] = static_cast<uint16_t>(serial * 3 + j);
            }
            reply = metersim::composeHistoryReply(frame[1] == protocol::kSolarHistory, history);
        }
        collectReplies(reply, sent);
        switch (random() % 5) {
            case 0: {  // late: the previous reply now, this one next time
                Bytes now = std::move(late);
                late = std::move(reply);
                outOfStep += now.empty() ? 0 : 1;
                return now;
            }
            case 1: {  // the late reply and this one in one go
                Bytes joined = std::move(late);
                late.clear();
                outOfStep += joined.empty() ? 0 : 1;
                joined.insert(joined.end(), reply.begin(), reply.end());
                return joined;
            }
            case 2:
                reply.resize(1 + random() % (reply.size() - 1));
                return reply;
            case 3:
                return {};
            default:
                return reply;
        }
    };
    RecordingMessageSink messages;
    FakeClock clock;
    SerialLink link(ports, messages, clock);
    link.setHistoryDumpPath("/dev/null");

    DayTable days{};
    MonthTable months{};
    ChannelTable table{};
    std::set<HistoryImage> seenConsumption, seenSolar;
    std::set<LiveImage> seenLive;
    const int polls = 3000;  // a tenth of a second, even under the sanitizers
    for (int n = 0; n < polls; ++n) {
        if (!link.isOpen()) {
            ASSERT_TRUE(link.openDevice());
        }
        link.readHistory(days.consumption, months.consumption, protocol::kConsumptionHistory);
        seenConsumption.insert(historyImage(days.consumption, months.consumption));
        link.readHistory(days.solar, months.solar, protocol::kSolarHistory);
        seenSolar.insert(historyImage(days.solar, months.solar));
        link.readLive(table);
        seenLive.insert(liveImage(table));
    }
    // The all-zero start is no reply; everything else must have been sent for the command.
    seenConsumption.erase(HistoryImage(kDays + kMonths, 0));
    seenSolar.erase(HistoryImage(kDays + kMonths, 0));
    seenLive.erase(liveImage(ChannelTable{}));
    long wrong = 0;
    for (const HistoryImage& image : seenConsumption)
        wrong += sent.consumption.count(image) ? 0 : 1;
    for (const HistoryImage& image : seenSolar) wrong += sent.solar.count(image) ? 0 : 1;
    for (const LiveImage& image : seenLive) {
        if (!sent.live.count(image)) {
            ++wrong;
            ADD_FAILURE() << "live table never sent as such, record 1 number " << image[0]
                          << " power " << image[1];
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(seenConsumption.size(), 100u);
    EXPECT_GT(seenSolar.size(), 100u);
    EXPECT_GT(seenLive.size(), 100u);
    EXPECT_TRUE(messages.shown.empty());
    std::printf(
        "[soak] device scripted out of step: exchanges %d out-of-step replies %ld "
        "distinct values accepted %zu\n",
        polls * 3, outOfStep, seenConsumption.size() + seenSolar.size() + seenLive.size());
    RecordProperty("exchanges", polls * 3);
}
