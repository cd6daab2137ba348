// The program's own serial link and POSIX port talking to the simulator over a real
// pseudo-terminal: what the sampling cycle and the channel dialog will meet at run time.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "core/device/SerialLink.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "support/Eventually.h"
#include "support/SimProcess.h"
#include "tools/meter-sim/HouseholdModel.h"

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr int64_t kStart = 1781352000;  // a June noon, UTC; the household's clock starts here

int64_t localSeconds(int64_t utc) {
    const time_t t = static_cast<time_t>(utc);
    tm local{};
    localtime_r(&t, &local);
    return utc + local.tm_gmtoff;
}

// One simulator, and the link as the program builds it: ports looked up as Com<n> in the
// simulator's directory, no machine serial devices, the real quiet gap and a short empty read.
struct LinkRig {
    explicit LinkRig(SerialTimings timings = {20ms, 120ms, 500ms}) : timings(timings) {}

    bool start(const std::vector<std::string>& args) {
        if (!sim.start(args)) return false;
        ::mkdir((sim.dir() + "/dev").c_str(), 0755);  // a machine without serial ports
        ports = std::make_unique<PosixSerialPorts>(sim.dir(), timings, sim.dir() + "/dev");
        link = std::make_unique<SerialLink>(*ports, messages, clock);
        link->setHistoryDumpPath(sim.dir() + "/History.dat");
        return true;
    }

    SerialTimings timings;
    SimProcess sim;
    std::unique_ptr<PosixSerialPorts> ports;
    RecordingMessageSink messages;
    FakeClock clock;  // the link's own waits cost nothing; the line's timing is real
    std::unique_ptr<SerialLink> link;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

template <typename F>
std::chrono::milliseconds timed(F&& f) {
    const auto start = SteadyClock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start);
}

}  // namespace

TEST(LinkOverSimulator, FindsTheMeterAndOneHistoryAndOneLiveExchangeLandInTheTables) {
    LinkRig rig;
    ASSERT_TRUE(rig.start({"--seed", "5", "--start-time", std::to_string(kStart)}));
    ASSERT_TRUE(rig.link->openDevice());
    ASSERT_TRUE(rig.link->isOpen());

    const metersim::HouseholdModel model(5);
    const int64_t local = localSeconds(kStart);
    for (uint8_t command : {uint8_t{1}, uint8_t{14}}) {
        SCOPED_TRACE(int(command));
        int32_t day[kDays] = {}, month[kMonths] = {};
        // At the real line pace a busy machine may split a reply at the 20 ms gap; the
        // exchange is then simply repeated, as the next poll would.
        for (int attempt = 0; attempt < 3 && month[1] == 0; ++attempt)
            rig.link->readHistory(day, month, command);
        const auto expected =
            command == 1 ? model.consumptionHistory(local) : model.solarHistory(local);
        const auto later =
            command == 1 ? model.consumptionHistory(local + 60) : model.solarHistory(local + 60);
        // Past days and months are fixed; today and this month grow while the test runs.
        for (int i = 1; i < kDays; ++i) EXPECT_EQ(day[i], expected.days[i]) << i;
        for (int j = 1; j < kMonths; ++j) EXPECT_EQ(month[j], expected.months[j]) << j;
        EXPECT_GE(day[0], expected.days[0]);
        EXPECT_LE(day[0], later.days[0]);
        EXPECT_GE(month[0], expected.months[0]);
        EXPECT_EQ(rig.link->failureCount(), 0);
    }
    const std::string dump = readFile(rig.sim.dir() + "/History.dat");
    ASSERT_EQ(dump.size(), 114u);
    EXPECT_EQ(dump.substr(0, 6), "SOLDAY");

    ChannelTable table{};
    for (int attempt = 0; attempt < 3 && table[kSolarRecord].number == 0; ++attempt)
        rig.link->readLive(table);
    EXPECT_EQ(table[kTotalRecord].power, 0u);  // the tick's to fill, never the decoder's
    uint32_t loads = 0;
    for (int r = 1; r <= 15; ++r) {
        EXPECT_EQ(table[r].number, r);
        EXPECT_EQ(table[r].state, '1');
        if (r <= kLastLoad) loads += table[r].power;
    }
    EXPECT_GT(table[kConsumptionRecord].power, loads);
    EXPECT_GT(table[kSolarRecord].power, 0u);  // noon
    // The readings are the household's at some moment of this test's first seconds.
    metersim::SwitchStates allOn;
    allOn.fill(true);
    bool matched = false;
    for (int64_t t = local; t < local + 30 && !matched; ++t) {
        const metersim::LiveSnapshot s = model.live(t, allOn);
        matched = true;
        for (int r = 1; r <= 15; ++r) matched = matched && table[r].power == s[r - 1].power;
    }
    EXPECT_TRUE(matched);
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(LinkOverSimulator, SwitchingIsAcknowledgedHonouredOrReported) {
    {
        LinkRig rig;
        ASSERT_TRUE(rig.start({"--baud", "0"}));
        ASSERT_TRUE(rig.link->openDevice());
        EXPECT_TRUE(rig.link->switchChannels("05,112,"));
        ChannelTable table{};
        rig.link->readLive(table);
        EXPECT_EQ(table[12].state, '3');
        EXPECT_EQ(table[12].power, 0u);
        EXPECT_EQ(table[5].state, '1');
        EXPECT_TRUE(rig.link->switchChannels("012,"));
        rig.link->readLive(table);
        EXPECT_EQ(table[12].state, '1');
        EXPECT_TRUE(rig.messages.shown.empty());
    }
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const std::vector<Case> failing = {
        {{"--bad-ack"}, "Received wrong data after writting command!"},
        {{"--silent-after", "1"}, "Fail to receive data after writiing command!"},
    };
    for (const Case& c : failing) {
        SCOPED_TRACE(c.message);
        LinkRig rig;
        std::vector<std::string> args = c.args;
        const std::string log = rig.sim.dir() + "/frames.log";
        args.insert(args.end(), {"--baud", "0", "--log", log});
        ASSERT_TRUE(rig.start(args));
        ASSERT_TRUE(rig.link->openDevice());
        EXPECT_FALSE(rig.link->switchChannels("03,104,"));
        ASSERT_EQ(rig.messages.shown.size(), 1u);
        EXPECT_EQ(rig.messages.shown[0], c.message);
        rig.sim.stop();
        // Nothing after the failing entry reached the meter.
        EXPECT_EQ(readFile(log).find("AA 04 04 AD"), std::string::npos);
    }
}

TEST(LinkOverSimulator, SilentMeterClosesTheLinkOnTheFourteenthExchangeThenIsFoundAgain) {
    LinkRig rig;
    ASSERT_TRUE(rig.start({"--baud", "0", "--silent-after", "1"}));
    ASSERT_TRUE(rig.link->openDevice());
    ChannelTable table{};
    for (int i = 1; i <= 13; ++i) {
        rig.link->readLive(table);
        ASSERT_TRUE(rig.link->isOpen()) << i;
        ASSERT_EQ(rig.link->failureCount(), i);
    }
    int32_t day[kDays] = {}, month[kMonths] = {};
    rig.link->readHistory(day, month, 1);
    EXPECT_FALSE(rig.link->isOpen());
    EXPECT_FALSE(rig.link->openDevice());  // still silent: Connect finds nothing

    // The meter comes back on the same port: the next Connect finds it.
    EXPECT_EQ(rig.sim.stop(), 0);
    SimProcess revived(rig.sim.dir());
    ASSERT_TRUE(revived.start({"--baud", "0"}));
    EXPECT_TRUE(rig.link->openDevice());
    rig.link->readLive(table);
    EXPECT_EQ(table[kSolarRecord].number, 15);
    EXPECT_EQ(rig.link->failureCount(), 0);
}

TEST(LinkOverSimulator, BabblingMeterNeitherHangsNorGrowsMemory) {
    // Noise at 115,200 baud fills the link's reply bound in about a third of a second.
    {
        LinkRig rig;
        ASSERT_TRUE(rig.start({"--babble", "--baud", "115200"}));
        EXPECT_LT(timed([&] { EXPECT_FALSE(rig.link->openDevice()); }), 3s);
        EXPECT_FALSE(rig.link->isOpen());
    }
    LinkRig rig;
    ASSERT_TRUE(rig.start({"--babble-after", "1", "--baud", "115200"}));
    ASSERT_TRUE(rig.link->openDevice());
    ChannelTable table{};
    const long ownBefore = ownResidentKb();
    long simAfterWarmUp = -1;
    for (int i = 1; i <= 10; ++i) {
        EXPECT_LT(timed([&] { rig.link->readLive(table); }), 2s) << i;
        if (i == 3) simAfterWarmUp = rig.sim.residentKb();
    }
    EXPECT_EQ(rig.link->failureCount(), 10);  // noise is no answer
    EXPECT_TRUE(rig.link->isOpen());
    for (int r = 0; r < kChannelRecords; ++r) EXPECT_EQ(table[r].power, 0u) << r;
    EXPECT_LT(ownResidentKb() - ownBefore, 1024);
    EXPECT_LT(rig.sim.residentKb() - simAfterWarmUp, 512);
}

TEST(LinkOverSimulator, PortOpenedAndClosedAgainAndAgainStaysUsableForANonRootProgram) {
    // The port is taken for exclusive use while open; the meter must drop that mark once
    // the program has closed it, as a real port does at its last close.
    LinkRig rig;
    const std::string log = rig.sim.dir() + "/frames.log";
    ASSERT_TRUE(rig.start({"--baud", "0", "--log", log}));
    for (int i = 0; i < 10; ++i) {
        // A real port drops the mark at the close itself; the simulator on its next event,
        // which a loaded machine may hold up for a moment.
        ASSERT_TRUE(eventually([&] { return rig.link->openDevice(); }, 5s)) << i;
        EXPECT_TRUE(rig.link->closeLink());
        if (i % 3 != 0) continue;
        std::this_thread::sleep_for(50ms);
        const int fd = ::open(rig.sim.link().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        int exclusive = -1;
        ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << i;
        ::close(fd);
    }
    EXPECT_EQ(rig.sim.stop(), 0);
    const std::string frames = readFile(log);
    EXPECT_NE(frames.find("rx AA 00 00 AD probe: 7 bytes"), std::string::npos) << frames;
}
