#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "core/acquisition/PeriodicTimer.h"
#include "core/acquisition/RecorderState.h"
#include "core/acquisition/Recording.h"
#include "core/acquisition/SamplingCycle.h"
#include "core/device/Protocol.h"
#include "core/store/SampleStore.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/CountingListener.h"
#include "support/Eventually.h"
#include "support/TempWorkDir.h"

using namespace std::chrono_literals;

namespace {

// Ports that can be held shut, so a probe can be caught while it runs.
class GatedPorts final : public SerialPorts {
public:
    std::unique_ptr<SerialPort> open(int n) override {
        m_gate.wait();
        return ports.open(n);
    }
    ScriptedPortOpener ports;
    std::shared_future<void> m_gate = std::async([] {}).share();
};

struct CycleFixture : ::testing::Test {
    TempWorkDir dir;
    GatedPorts ports;
    RecordingMessageSink messages;
    FakeClock clock;
    CountingListener list;  // outlives the cycle that calls it
    RecorderState state{ports, messages, clock};
    Recording doc{state};
    Recording* firstDoc = &doc;
    SamplingCycle cycle{state, [this] { return firstDoc; }};

    void SetUp() override {
        state.listener = &list;
        state.link.setHistoryDumpPath(dir.file("History.dat"));
        cycle.start(1h);  // the tests drive the period themselves
        state.running = true;
        state.currentRecording = &doc;
    }

    // A meter on port 3 that answers every frame; `onLive` runs inside each live exchange.
    std::shared_ptr<ScriptedDevice> attachMeter(std::function<void()> onLive = {}) {
        auto device = ports.ports.attach(3);
        device->answer = [onLive](const ScriptedDevice::Bytes& frame) {
            if (frame[1] == protocol::kLive && onLive) onLive();
            return ScriptedDevice::Bytes{'O', 'K'};
        };
        return device;
    }

    int connect() {
        std::promise<bool> found;
        cycle.onConnect(&doc, [&](bool result) { found.set_value(result); });
        return found.get_future().get();
    }

    int held() const {
        SampleStore store;
        doc.copyStore(store);
        return store.count;
    }
};

}  // namespace

TEST_F(CycleFixture, DisconnectedTimerRecordsZerosOnlyWhileARealTimeDocumentIsOpen) {
    struct Case {
        bool running;
        bool current;
        bool firstOpen;
        int recorded;
    };
    const Case cases[] = {{false, true, true, 0},
                          {true, true, false, 3},
                          {true, false, true, 3},
                          {true, false, false, 0}};
    for (const Case& c : cases) {
        const int before = held();
        state.running = c.running;
        state.currentRecording = c.current ? &doc : nullptr;
        firstDoc = c.firstOpen ? &doc : nullptr;
        state.live[5].power = 900;
        for (int tick = 0; tick < 3; ++tick) cycle.onSampleTimer();
        EXPECT_EQ(held() - before, c.recorded) << c.running << c.current << c.firstOpen;
        if (c.recorded > 0) {
            EXPECT_EQ(doc.lastSamples(5, 3), (std::vector<int32_t>{0, 0, 0}));
            EXPECT_EQ(state.currentRecording.load(), &doc);
        }
    }
    EXPECT_EQ(list.stored.load() + list.updated.load(), 0);
}

TEST_F(CycleFixture, ConnectedTimerOnlyWakesTheWorkerUntilDisconnect) {
    attachMeter();
    ASSERT_EQ(connect(), 1);
    EXPECT_FALSE(cycle.probing());
    cycle.onConnect(&doc, [](bool) { ADD_FAILURE() << "Connect while connected"; });

    for (int tick = 1; tick <= 3; ++tick) {
        cycle.onSampleTimer();
        ASSERT_TRUE(eventually([&] { return list.stored >= tick; }));
    }
    EXPECT_EQ(held(), 3);
    EXPECT_EQ(list.updated.load(), 3);
    EXPECT_EQ(cycle.liveWorkers(), 1);

    cycle.onDisconnect();
    cycle.onDisconnect();
    cycle.onSampleTimer();  // the timer records the zero itself; the worker keeps waiting
    EXPECT_EQ(held(), 4);
    EXPECT_EQ(list.stored.load(), 3);
    EXPECT_EQ(cycle.liveWorkers(), 1);
}

// A poll whose link closes under it records a zero sample either way; the list hears of it
// only when the meter was lost, not when the user disconnected (it keeps the last values).
TEST_F(CycleFixture, PollCutShortTellsTheListOnlyOfALostLink) {
    std::function<void()> duringLive;
    attachMeter([&] {
        if (duringLive) std::exchange(duringLive, nullptr)();
    });
    struct Case {
        const char* what;
        std::function<void()> close;
        int posted;
    };
    const Case cases[] = {{"the user's Disconnect", [&] { cycle.onDisconnect(); }, 0},
                          {"failures", [&] { state.link.closeLink(); }, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(connect(), 1);
        const int stored = list.stored;
        const int told = list.stored + list.quiet;
        const int before = held();
        state.live[kTotalRecord].power = 700;
        duringLive = c.close;
        cycle.onSampleTimer();
        // Every tick is told once, after its sample is held: then the count is final.
        ASSERT_TRUE(eventually([&] { return list.stored + list.quiet == told + 1; }));
        EXPECT_EQ(held(), before + 1);
        EXPECT_EQ(list.stored - stored, c.posted);
        EXPECT_EQ(doc.lastSamples(kTotalRecord, 1), std::vector<int32_t>{0});
        EXPECT_FALSE(state.link.isOpen());
    }
}

// Timer signals that arrive during a poll are not lost, and never queue beyond one.
TEST_F(CycleFixture, TickLongerThanThePeriodIsFollowedAtOnceByTheNext) {
    std::atomic<int> polls{0};
    attachMeter([&] {
        if (polls++ == 0) {
            for (int fired = 0; fired < 3; ++fired) cycle.onSampleTimer();
        }
    });
    ASSERT_EQ(connect(), 1);
    cycle.onSampleTimer();
    ASSERT_TRUE(eventually([&] { return list.stored >= 2; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(list.stored.load(), 2);
    EXPECT_EQ(held(), 2);
}

// Each Connect without a device starts a worker; one waits for the event, the newest waits
// for the lock and older queued ones end, so repeated Connects do not pile up threads.
TEST_F(CycleFixture, ConnectsWithoutDeviceLeaveOneWorkerQueuedAndStopEndsThem) {
    EXPECT_EQ(connect(), 0);
    ASSERT_TRUE(eventually([&] { return cycle.workerHoldsLock(); }));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(connect(), 0);
    EXPECT_TRUE(
        eventually([&] { return cycle.liveWorkers() == 2 && cycle.workersWaitingForLock() == 1; }));

    const auto begin = std::chrono::steady_clock::now();
    cycle.stop();
    // Bounded by the abandoned waits, not by the hour-long period: room for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
    EXPECT_EQ(cycle.liveWorkers(), 0);
}

TEST_F(CycleFixture, WorkerEndsWithoutPollingOnceItsRecordingIsReleased) {
    attachMeter();
    ASSERT_EQ(connect(), 1);
    cycle.releaseRecording(&doc);
    cycle.onSampleTimer();
    ASSERT_TRUE(eventually([&] { return cycle.liveWorkers() == 0; }));
    EXPECT_EQ(held(), 0);
    EXPECT_EQ(list.stored.load(), 0);
}

TEST_F(CycleFixture, ConnectReturnsAtOnceWhileTheProbeRuns) {
    std::promise<void> open;
    ports.m_gate = open.get_future().share();
    attachMeter();
    std::promise<bool> found;
    cycle.onConnect(&doc, [&](bool result) { found.set_value(result); });
    EXPECT_TRUE(cycle.probing());
    cycle.onConnect(&doc, [](bool) { ADD_FAILURE() << "second probe"; });
    open.set_value();
    EXPECT_TRUE(found.get_future().get());
    EXPECT_FALSE(cycle.probing());
    EXPECT_EQ(cycle.liveWorkers(), 1);
}

// A document that goes away must not be ticked afterwards: releasing it waits for the tick
// in progress, and the worker then leaves instead of polling into it.
TEST_F(CycleFixture, ReleasedDocumentIsNeverTickedAgain) {
    std::promise<void> inPoll, finish;
    std::shared_future<void> finishing = finish.get_future().share();
    std::atomic<int> polls{0};
    attachMeter([&] {
        if (polls++ == 0) {
            inPoll.set_value();
            finishing.wait();
        }
    });
    ASSERT_EQ(connect(), 1);
    cycle.onSampleTimer();
    inPoll.get_future().wait();

    state.running = false;  // the close step
    auto released = std::async(std::launch::async, [&] { cycle.releaseRecording(&doc); });
    EXPECT_EQ(released.wait_for(100ms), std::future_status::timeout);
    finish.set_value();
    released.get();
    EXPECT_EQ(held(), 1);

    state.running = true;  // a stale flag must not bring the released document back
    cycle.onSampleTimer();
    ASSERT_TRUE(eventually([&] { return cycle.liveWorkers() == 0; }));
    EXPECT_EQ(polls.load(), 1);
    EXPECT_EQ(held(), 1);
}

// A full wrap of the ring on a 0.2 ms timer, while a reader copies the store and the tables,
// Connect and Disconnect alternate, the meter falls silent now and then (the link drops after
// fourteen silent exchanges), and the document is released in the middle of the ticks.
TEST_F(CycleFixture, SoakThroughAFullRingWrap) {
    std::atomic<bool> silent{false};
    ports.ports.attach(3)->answer = [&](const ScriptedDevice::Bytes&) {
        return silent ? ScriptedDevice::Bytes{} : ScriptedDevice::Bytes{'O', 'K'};
    };
    cycle.start(200us);  // 17,281 ticks in a few seconds
    std::atomic<bool> finished{false};
    std::atomic<long> copies{0};
    std::thread reader([&] {
        auto store = std::make_unique<SampleStore>();
        while (!finished) {
            doc.copyStore(*store);
            EXPECT_EQ(store->writeIndex, (store->startIndex + store->count) % kRingSlots);
            ChannelTable channels;
            {
                std::lock_guard lock(state.dataLock);
                channels = withReadings(state.config.channels, state.live);
            }
            uint32_t loads = 0;
            for (int k = kFirstLoad; k <= kLastLoad; ++k) loads += channels[k].power;
            EXPECT_EQ(channels[kTotalRecord].power, loads);
            ++copies;
            std::this_thread::sleep_for(5ms);
        }
    });
    auto store = std::make_unique<SampleStore>();
    const auto limit = std::chrono::steady_clock::now() + 300s;
    int connects = 0;
    for (int round = 0; store->startIndex == 0; ++round) {
        ASSERT_LT(std::chrono::steady_clock::now(), limit);
        switch (round % 4) {
            case 0:
                cycle.onConnect(&doc);
                ++connects;
                break;
            case 1:
                silent = true;
                break;
            case 2:
                silent = false;
                cycle.onConnect(&doc);
                ++connects;
                break;
            case 3:
                cycle.onDisconnect();
                break;
        }
        std::this_thread::sleep_for(25ms);
        EXPECT_LE(cycle.liveWorkers(), 3);
        doc.copyStore(*store);
    }
    state.running = false;  // the close step, while ticks run
    cycle.releaseRecording(&doc);
    finished = true;
    reader.join();
    cycle.stop();
    EXPECT_EQ(cycle.liveWorkers(), 0);
    RecordProperty("connects", connects);
    RecordProperty("readerCopies", static_cast<int>(copies));
    RecordProperty("polledTicks", list.stored.load());
}
