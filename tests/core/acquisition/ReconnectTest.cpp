#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "core/acquisition/RecorderState.h"
#include "core/acquisition/Recording.h"
#include "core/acquisition/SamplingCycle.h"
#include "core/base/Clock.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "fakes/RecordingMessageSink.h"
#include "support/CountingListener.h"
#include "support/Eventually.h"
#include "support/PtyPair.h"
#include "support/SimProcess.h"

using namespace std::chrono_literals;

namespace {

// What the simulator received, in order: "probe", "live", ... each with "silent" when it
// did not answer.
std::vector<std::string> receivedCommands(const std::string& logPath) {
    std::vector<std::string> commands;
    std::ifstream log(logPath);
    for (std::string line; std::getline(log, line);) {
        const size_t start = line.find(" AD ");
        const size_t end = line.find(':', start);
        if (start == std::string::npos || end == std::string::npos) continue;
        std::string what = line.substr(start + 4, end - start - 4);
        if (line.find("(silent)") != std::string::npos) what += " silent";
        commands.push_back(what);
    }
    return commands;
}

// A real-time document recording from the simulator through the real port resolver, with
// short serial timeouts and short reconnect waits so a drop-out plays out in seconds.
struct ReconnectFixture : ::testing::Test {
    SimProcess sim;
    std::unique_ptr<PosixSerialPorts> ports;
    RecordingMessageSink messages;
    CountingListener list;  // outlives the cycle that calls it
    std::unique_ptr<RecorderState> state;
    std::unique_ptr<Recording> doc;
    std::unique_ptr<SamplingCycle> cycle;

    std::string logPath() const { return sim.dir() + "/frames.log"; }

    void startAll(std::vector<std::string> simArgs) {
        simArgs.insert(simArgs.end(), {"--baud", "0", "--log", logPath()});
        ASSERT_TRUE(sim.start(simArgs));
        SerialTimings timings;
        timings.emptyRead = 400ms;  // room for a simulator a loaded machine holds up
        ports = std::make_unique<PosixSerialPorts>(sim.dir(), timings, sim.dir() + "/no-devices");
        state = std::make_unique<RecorderState>(*ports, messages, SystemClock::instance());
        state->listener = &list;
        state->link.setHistoryDumpPath(sim.dir() + "/History.dat");
        doc = std::make_unique<Recording>(*state);
        cycle = std::make_unique<SamplingCycle>(*state, [this] { return doc.get(); });
        cycle->setReconnectTimings({{50ms, 100ms, 200ms}, 500ms});
        cycle->start(100ms);
        state->running = true;
        state->currentRecording = doc.get();
    }

    void TearDown() override {
        if (cycle) cycle->stop();
    }

    bool connect() {
        std::promise<bool> found;
        cycle->onConnect(doc.get(), [&](bool result) { found.set_value(result); });
        return found.get_future().get();
    }

    // The link is open and a sample newer than `after` has been read from the meter.
    bool pollingAgain(int64_t after, std::chrono::milliseconds limit) {
        return eventually([&] { return state->link.isOpen() && state->lastGoodSample > after; },
                          limit);
    }
};

}  // namespace

TEST_F(ReconnectFixture, MeterSilentForTwentyExchangesIsPolledAgainWithoutAClick) {
    // Answers the probe and one poll, then stays silent for 20 commands.
    startAll({"--silent-after", "4", "--silent-for", "20"});
    ASSERT_TRUE(connect());
    ASSERT_TRUE(eventually([&] { return !state->link.isOpen(); }, 15s));
    EXPECT_EQ(cycle->linkStatus().phase, SamplingCycle::LinkStatus::Phase::NoDevice);
    ASSERT_TRUE(pollingAgain(0, 20s));

    // The polls after the silence began: 14 unanswered exchanges closed the link, then only
    // probes of the last port until the meter answered one.
    const std::vector<std::string> commands = receivedCommands(logPath());
    ASSERT_GE(commands.size(), 24u);
    int silentPolls = 0;
    size_t i = 4;
    for (; i < commands.size() && commands[i] != "probe silent"; ++i) ++silentPolls;
    EXPECT_EQ(silentPolls, 14);
    int silentProbes = 0;
    for (; i < commands.size() && commands[i] == "probe silent"; ++i) ++silentProbes;
    EXPECT_EQ(silentProbes, 6);
    ASSERT_LT(i, commands.size());
    EXPECT_EQ(commands[i], "probe");
    EXPECT_EQ(cycle->linkStatus().phase, SamplingCycle::LinkStatus::Phase::Polling);
    EXPECT_EQ(cycle->linkStatus().port, 1);
}

TEST_F(ReconnectFixture, MeterRestartedOnANewTerminalUnderTheSameLinkIsFoundAgain) {
    startAll({});
    ASSERT_TRUE(connect());
    ASSERT_TRUE(pollingAgain(0, 5s));
    ASSERT_EQ(sim.stop(), 0);  // the terminal and the Com1 link go away
    ASSERT_TRUE(eventually([&] { return !state->link.isOpen(); }, 10s));
    std::this_thread::sleep_for(300ms);  // attempts while the port is gone find nothing

    SimProcess again(sim.dir());
    ASSERT_TRUE(again.start({"--baud", "0"}));
    const int64_t lost = state->lastGoodSample;
    ASSERT_TRUE(pollingAgain(lost, 10s));
}

TEST_F(ReconnectFixture, MeterBackAtTheNextPortNumberIsFoundWhileAnotherDeviceTakesItsOwn) {
    startAll({});
    // Attempts come far more often than the full probe may.
    cycle->setReconnectTimings({{50ms}, 1s});
    ASSERT_TRUE(connect());
    ASSERT_TRUE(pollingAgain(0, 5s));
    ASSERT_EQ(sim.stop(), 0);
    ASSERT_TRUE(eventually([&] { return !state->link.isOpen(); }, 10s));

    // As after plugging in an adapter: port 1 is now a device that never answers, and so is
    // port 2 for a while. Both only count the probe frames they get.
    PtyPair other;
    PtyPair second;
    ASSERT_TRUE(other.ok() && second.ok());
    other.answerProbes({});
    second.answerProbes({});
    ASSERT_EQ(::symlink(other.slaveName.c_str(), sim.link(1).c_str()), 0);
    ASSERT_EQ(::symlink(second.slaveName.c_str(), sim.link(2).c_str()), 0);
    const auto watched = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(2s);
    const int fullProbes = second.probes;
    const auto window = std::chrono::steady_clock::now() - watched;
    EXPECT_GE(other.probes, 1) << "the last port is still tried first";
    // Every port is probed when the last one stays silent, but never more often than the
    // spacing allows.
    EXPECT_GE(fullProbes, 1);
    EXPECT_LE(fullProbes, window / 1s + 1);

    // The meter comes back as port 2.
    ASSERT_EQ(::unlink(sim.link(2).c_str()), 0);
    second.stopAnswering();
    SimProcess again(sim.dir());
    ASSERT_TRUE(again.start({"--baud", "0"}, 2));
    const int64_t lost = state->lastGoodSample;
    ASSERT_TRUE(pollingAgain(lost, 10s));
    EXPECT_EQ(cycle->linkStatus().port, 2);
}

TEST_F(ReconnectFixture, NoAttemptAfterDisconnectOrWithTheSettingOffUntilConnect) {
    startAll({});
    for (const bool viaSetting : {false, true}) {
        SCOPED_TRACE(viaSetting ? "setting off, link lost" : "user's Disconnect");
        ASSERT_TRUE(connect());
        ASSERT_TRUE(pollingAgain(0, 5s));
        if (viaSetting) {
            cycle->setAutoReconnect(false);
            state->link.closeLink();  // as the failure counter closes it
        } else {
            cycle->onDisconnect();
            EXPECT_EQ(cycle->linkStatus().phase, SamplingCycle::LinkStatus::Phase::Disconnected);
        }
        const size_t before = receivedCommands(logPath()).size();
        std::this_thread::sleep_for(1500ms);  // several times the longest wait
        EXPECT_FALSE(state->link.isOpen());
        const std::vector<std::string> commands = receivedCommands(logPath());
        // At most the rest of the poll that was on the line when the link closed.
        EXPECT_LE(commands.size(), before + 3);
        for (size_t i = before; i < commands.size(); ++i) EXPECT_NE(commands[i], "probe");
    }
}
