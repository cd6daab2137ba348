#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "core/acquisition/Recorder.h"
#include "core/base/Clock.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/Eventually.h"
#include "support/ScriptedMeter.h"
#include "support/TempWorkDir.h"

using namespace std::chrono_literals;

namespace {

int storedSamples(const Recorder& recorder) {
    auto store = std::make_unique<SampleStore>();
    recorder.copyStore(*store);
    return store->count;
}

// An observer that takes its time over the first sample, as a window busy painting or a log
// on a full pipe would.
struct SlowObserver final : RecorderListener {
    void onSampleRecorded(SampleOrigin) override {
        if (calls++ == 0) {
            inside = true;
            std::this_thread::sleep_for(1500ms);
            inside = false;
        }
    }
    void onTablesChanged() override {}
    void onLinkChanged() override {}
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
};

struct RecorderTest : ::testing::Test {
    TempWorkDir dir;
    ScriptedPortOpener ports;
    ScriptedMeter meter{ports, 1};
    RecordingMessageSink messages;
    Recorder recorder{ports, messages, SystemClock::instance()};
};

}  // namespace

TEST_F(RecorderTest, ASlowObserverNeverHoldsUpTheTicks) {
    SlowObserver observer;
    recorder.setListener(&observer);
    recorder.loadConfig(dir.path());
    recorder.start(20ms);
    recorder.openRecording();
    ASSERT_TRUE(eventually([&] { return observer.inside.load(); }, 5s));
    const int before = storedSamples(recorder);
    while (observer.inside) std::this_thread::sleep_for(10ms);
    // 75 periods went by: a tick waiting for the observer would have stored one at most.
    EXPECT_GE(storedSamples(recorder) - before, 10);
    recorder.stop();
    recorder.closeRecording();
}

// Commands from several threads at once, and readers copying all the while: every snapshot
// is whole (the Total is the sum of the loads it was read with), nothing deadlocks, and the
// stop ends it all. ThreadSanitizer watches this one in the test command.
TEST_F(RecorderTest, CommandsFromSeveralThreadsAndReadersKeepEverySnapshotWhole) {
    recorder.loadConfig(dir.path());
    recorder.start(2ms);
    recorder.openRecording();
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> copies{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {  // the operator's Connect and Disconnect
        while (!done) {
            recorder.connect();
            std::this_thread::sleep_for(3ms);
            if (recorder.linkOpen()) recorder.disconnect();
        }
    });
    threads.emplace_back([&] {  // the meter's readings change under the polls
        for (uint16_t watts = 0; !done; ++watts) {
            for (int k = kFirstLoad; k <= kLastLoad; ++k) meter.setPower(k, watts % 500);
            std::this_thread::sleep_for(1ms);
        }
    });
    threads.emplace_back([&] {  // settings and names, as the dialogs change them
        for (uint16_t i = 0; !done; ++i) {
            recorder.setScopeIndex(i % 7);
            recorder.setExportInterval(5 + i % 60);
            ChannelTable names = recorder.channels();
            names[3].name[0] = static_cast<char>('A' + i % 26);
            recorder.setChannelNames(names);
            recorder.saveConfig();
        }
    });
    for (int reader = 0; reader < 2; ++reader) {
        threads.emplace_back([&] {  // the windows
            auto store = std::make_unique<SampleStore>();
            while (!done) {
                const ChannelTable channels = recorder.channels();
                uint32_t loads = 0;
                for (int k = kFirstLoad; k <= kLastLoad; ++k) loads += channels[k].power;
                torn += channels[kTotalRecord].power != loads;
                recorder.copyStore(*store);
                recorder.lastSamples(kTotalRecord, 720);
                recorder.days();
                recorder.linkStatus();
                ++copies;
            }
        });
    }
    std::this_thread::sleep_for(1500ms);
    done = true;
    for (std::thread& thread : threads) thread.join();
    const auto begin = std::chrono::steady_clock::now();
    recorder.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
    EXPECT_TRUE(recorder.closeRecording());
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(copies.load(), 0);
    EXPECT_GT(storedSamples(recorder), 0);
    EXPECT_FALSE(recorder.linkOpen());
}

// dast.cfg as the recorder saves it: the records with the last readings from the meter, and
// the time of the save, in the file and in the configuration held.
TEST_F(RecorderTest, SaveConfigWritesTheLastReadingsAndTheTimeOfTheSave) {
    FakeClock clock;
    Recorder saving(ports, messages, clock);
    saving.loadConfig(dir.path());
    saving.start(1h);  // the test drives the tick
    saving.openRecording();
    meter.setPower(3, 0x1234);
    saving.connect();
    ASSERT_TRUE(eventually([&] { return saving.linkOpen() && !saving.probing(); }, 5s));
    saving.tickNow();
    ASSERT_TRUE(eventually([&] { return saving.channels()[3].power == 0x1234; }, 5s));
    const auto before = static_cast<uint32_t>(clock.now());
    ASSERT_TRUE(saving.saveConfig());

    std::ifstream in(dir.file("dast.cfg"), std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(file.size(), 1365u);
    auto u32At = [&file](size_t at) {
        return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t{file[at + 3]} << 24;
    };
    const size_t record3 = 2 + 3 * 76;
    EXPECT_EQ(u32At(record3 + 68), 0x1234u);  // power
    EXPECT_EQ(file[record3 + 72], '1');       // state
    const uint32_t saveTime = u32At(file.size() - 10);
    EXPECT_GE(saveTime, before);
    EXPECT_LE(saveTime, clock.now());
    EXPECT_EQ(saving.config().lastSaveTime, saveTime);
    saving.stop();
    EXPECT_TRUE(saving.closeRecording());
}
