// The sampling cycle's threads at full stretch: the timer on a sub-millisecond period, the
// worker polling a scripted meter, a reader copying the store and the tables the way the
// windows do, and a driver that connects, disconnects, silences the meter, closes the
// document while a tick is running and opens it again. Built with -DKELVO_SANITIZE=thread this is
// the race proof; every wait in it is bounded so a hang fails instead of stalling the suite.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "core/acquisition/RecorderState.h"
#include "core/acquisition/Recording.h"
#include "core/acquisition/SamplingCycle.h"
#include "core/device/Protocol.h"
#include "core/store/DataFile.h"
#include "core/store/SampleStore.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/CountingListener.h"
#include "support/SoakScale.h"
#include "support/TempWorkDir.h"
#include "tools/meter-sim/ReplyComposer.h"

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

namespace {

// A one-shot gate with bounded waits on both sides.
class Latch {
public:
    void open() {
        std::lock_guard lock(m_lock);
        m_open = true;
        m_wake.notify_all();
    }
    bool wait(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_lock);
        return m_wake.wait_for(lock, limit, [this] { return m_open; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_open = false;
};

// A meter whose every reply carries the number of the poll it belongs to, so a sample or a
// table put together from two polls, or half written when copied, shows: live power of record
// k is (16 p + k) mod 65,536, day i of the consumption history (p + i) mod 65,536.
struct PatternMeter {
    std::atomic<bool> silent{false};
    std::atomic<bool> holdNextLive{false};
    std::shared_ptr<Latch> held, release;  // set before holdNextLive
    std::atomic<long> exchanges{0};
    uint16_t poll = 0;  // only touched inside exchanges, which the link serialises

    Bytes answer(const Bytes& frame) {
        ++exchanges;
        if (frame[1] == protocol::kProbe) return silent ? Bytes{} : Bytes{'O', 'K'};
        if (frame[1] == protocol::kLive && holdNextLive.exchange(false)) {
            held->open();
            release->wait(10s);  // bounded: a stuck test fails, it does not hang
        }
        if (silent) return {};
        if (frame[1] == protocol::kConsumptionHistory) ++poll;
        if (frame[1] == protocol::kLive) {
            metersim::LiveSnapshot live;
            for (int r = 0; r < metersim::kLiveRecords; ++r) {
                live[r] = {static_cast<uint16_t>(r + 1), static_cast<uint16_t>(poll * 16 + r + 1),
                           metersim::kStateOn};
            }
            return metersim::composeLiveReply(live);
        }
        metersim::EnergyHistory history;
        for (int i = 0; i < kDays; ++i) history.days[i] = static_cast<uint16_t>(poll + i);
        for (int j = 0; j < kMonths; ++j) history.months[j] = static_cast<uint16_t>(poll + j);
        return metersim::composeHistoryReply(frame[1] == protocol::kSolarHistory, history);
    }
};

// One slot across the sixteen rings: all zero (no device), or one poll's live powers with
// their Total in ring 0.
bool slotConsistent(const SampleStore& store, int slot) {
    const int32_t first = store.samples[1][slot];
    int64_t loads = 0;
    for (int k = 1; k < kRingCount; ++k) {
        const int32_t v = store.samples[k][slot];
        const int32_t expected = first == 0 ? 0 : (first - 1 + k) & 0xFFFF;
        if (v != expected) return false;
        if (k <= kLastLoad) loads += v;
    }
    return store.samples[kTotalRecord][slot] == loads;
}

bool seriesConsistent(const int32_t* series, int size) {
    for (int i = 1; i < size; ++i) {
        if (series[i] != (series[0] == 0 ? 0 : (series[0] + i) & 0xFFFF)) return false;
    }
    return true;
}

int64_t ticksOf(const SampleStore& store) {
    // A fresh store: one slot per tick until full, then startIndex moves one per tick.
    return store.count + store.startIndex;
}

struct SoakRig {
    TempWorkDir dir;
    ScriptedPortOpener ports;
    PatternMeter meter;
    RecordingMessageSink messages;
    FakeClock clock;
    CountingListener list;  // outlives the cycle that calls it
    RecorderState state{ports, messages, clock};
    std::unique_ptr<Recording> doc;
    std::atomic<Recording*> firstDoc{nullptr};
    SamplingCycle cycle{state, [this] { return firstDoc.load(); }};

    SoakRig() {
        state.listener = &list;
        state.config.appDir = dir.path();
        state.link.setHistoryDumpPath(dir.file("History.dat"));
        ports.attach(1)->answer = [this](const Bytes& frame) { return meter.answer(frame); };
        doc = std::make_unique<Recording>(state);
        doc->open();
        firstDoc = doc.get();
    }

    // Holds the next live exchange (the worker is then inside recordSample), runs `during`,
    // and lets the tick go on. False when no tick reached the meter in time.
    bool duringTick(const std::function<void()>& during) {
        meter.held = std::make_shared<Latch>();
        meter.release = std::make_shared<Latch>();
        meter.holdNextLive = true;
        const bool reached = meter.held->wait(5s);
        if (reached) during();
        meter.holdNextLive = false;
        meter.release->open();
        return reached;
    }

    bool connected(std::chrono::milliseconds limit) {
        const auto until = SteadyClock::now() + limit;
        while (!state.link.isOpen() || cycle.probing()) {
            if (SteadyClock::now() > until) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
};

}  // namespace

TEST(ThreadSoak, RingWrapWithReaderConnectsDropsCloseDuringATickAndReopen) {
    SoakRig rig;
    Recording& doc = *rig.doc;
    const auto period = 500us;
    // Under ThreadSanitizer the wrap may not fit; then it runs as many ticks as fit a minute.
    const auto budget = kSoakUnderThreadSanitizer ? 60s : 150s;
    rig.cycle.start(period);

    std::atomic<bool> finished{false};
    std::atomic<long> copies{0}, badSlots{0}, badTables{0}, badInvariant{0};
    std::thread reader([&] {
        auto store = std::make_unique<SampleStore>();
        while (!finished) {
            // The chart reloading its channel, the export copying the store, the lists and
            // the history windows copying their tables.
            const int ring = static_cast<int>(copies % kRingCount);
            const std::vector<int32_t> chart = doc.lastSamples(ring, 720);
            doc.copyStore(*store);
            DayTable days;
            MonthTable months;
            ChannelTable channels;
            {
                std::lock_guard lock(rig.state.dataLock);
                days = rig.state.days;
                months = rig.state.months;
                channels = withReadings(rig.state.config.channels, rig.state.live);
            }
            if (chart.size() != 720u) ++badSlots;
            if (store->writeIndex != (store->startIndex + store->count) % kRingSlots) {
                ++badInvariant;
            }
            // The newest 64 samples, where the ticks are writing.
            for (int j = 1; j <= 64; ++j) {
                if (!slotConsistent(*store, (store->writeIndex - j + kRingSlots) % kRingSlots)) {
                    ++badSlots;
                }
            }
            if (!seriesConsistent(days.consumption, kDays) ||
                !seriesConsistent(days.solar, kDays) ||
                !seriesConsistent(months.consumption, kMonths) ||
                !seriesConsistent(months.solar, kMonths)) {
                ++badTables;
            }
            uint32_t loads = 0;
            for (int k = kFirstLoad; k <= kLastLoad; ++k) loads += channels[k].power;
            if (channels[kTotalRecord].power != loads) ++badTables;
            ++copies;
            std::this_thread::sleep_for(2ms);
        }
    });

    // Whatever way the test leaves, the reader is stopped and joined.
    struct JoinOnExit {
        std::atomic<bool>& finished;
        std::thread& thread;
        ~JoinOnExit() {
            finished = true;
            if (thread.joinable()) thread.join();
        }
    } joinReader{finished, reader};

    auto store = std::make_unique<SampleStore>();
    const auto started = SteadyClock::now();
    long connects = 0, disconnects = 0, drops = 0, closesRefused = 0;
    for (int round = 0;; ++round) {
        doc.copyStore(*store);
        if (ticksOf(*store) > kRingSlots) break;  // wrapped: slot 0 overwritten
        if (SteadyClock::now() - started > budget) break;
        switch (round % 6) {
            case 0:
            case 3:
                rig.meter.silent = false;
                rig.cycle.onConnect(&doc);
                ++connects;
                break;
            case 1:
                // A close request while a tick runs, the window not closing: refused, the
                // document stays and keeps recording.
                if (rig.connected(2s) && rig.duringTick([&] {
                        EXPECT_TRUE(doc.busy);
                        EXPECT_FALSE(doc.close());
                    })) {
                    ++closesRefused;
                    EXPECT_TRUE(rig.state.running);
                    EXPECT_EQ(rig.state.currentRecording.load(), &doc);
                }
                break;
            case 2:
                rig.meter.silent = true;  // fourteen silent exchanges drop the link
                ++drops;
                break;
            case 4:
                rig.cycle.onDisconnect();
                ++disconnects;
                break;
            default:
                break;
        }
        std::this_thread::sleep_for(20ms);
        EXPECT_LE(rig.cycle.liveWorkers(), 3);
    }
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();
    if (!kSoakUnderThreadSanitizer) {
        EXPECT_GT(ticksOf(*store), kRingSlots) << "no full wrap within " << budget.count() << " s";
    }

    // The program closing while a tick runs: the close goes ahead and saves, the tick
    // finishes on the document, which is then released and never ticked again.
    rig.meter.silent = false;
    rig.cycle.onConnect(&doc);
    ASSERT_TRUE(rig.connected(5s));
    rig.state.closing = true;
    bool closed = false;
    ASSERT_TRUE(rig.duringTick([&] { closed = doc.close(); }));
    EXPECT_TRUE(closed);
    EXPECT_FALSE(rig.state.running);
    rig.firstDoc = nullptr;
    rig.cycle.releaseRecording(&doc);
    doc.copyStore(*store);
    const int64_t ticksAtRelease = ticksOf(*store);
    std::this_thread::sleep_for(50ms);  // a hundred periods
    auto after = std::make_unique<SampleStore>();
    doc.copyStore(*after);
    EXPECT_EQ(ticksOf(*after), ticksAtRelease);

    finished = true;
    reader.join();

    // What the close saved is a whole store, each sample from one poll.
    DayTable days;
    MonthTable months;
    auto saved = std::make_unique<SampleStore>();
    ASSERT_EQ(DataFile::load(doc.dataFilePath(), days, months, *saved), DataFile::Load::Loaded);
    long badSaved = 0;
    for (int j = 0; j < saved->count; ++j) {
        badSaved += slotConsistent(*saved, (saved->startIndex + j) % kRingSlots) ? 0 : 1;
    }
    EXPECT_EQ(badSaved, 0);
    EXPECT_TRUE(seriesConsistent(days.consumption, kDays));

    // The window destroyed (its document closes the link), then opened again an hour later
    // while the timer runs: the saved store comes back with 720 zero samples for the gap,
    // the timer records into it at once and a Connect polls into it.
    rig.doc.reset();
    EXPECT_FALSE(rig.state.link.isOpen());
    rig.state.closing = false;
    rig.clock.advance(1h);
    auto reopened = std::make_unique<Recording>(rig.state);
    reopened->open();
    rig.firstDoc = reopened.get();
    reopened->copyStore(*after);
    const int gap = (after->writeIndex - saved->writeIndex + kRingSlots) % kRingSlots;
    EXPECT_GE(gap, 720);
    EXPECT_LT(gap, 720 + 100);
    long badReopened = 0;
    for (int j = 0; j < after->count; ++j) {
        badReopened += slotConsistent(*after, (after->startIndex + j) % kRingSlots) ? 0 : 1;
    }
    EXPECT_EQ(badReopened, 0);
    const long polledBefore = rig.list.stored;
    rig.cycle.onConnect(reopened.get());
    EXPECT_TRUE(rig.connected(5s));
    const auto pollLimit = SteadyClock::now() + 5s;
    while (rig.list.stored < polledBefore + 50 && SteadyClock::now() < pollLimit) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GE(rig.list.stored.load(), polledBefore + 50);
    rig.state.closing = true;
    EXPECT_TRUE(reopened->close());
    rig.firstDoc = nullptr;
    rig.cycle.releaseRecording(reopened.get());

    const auto stopStarted = SteadyClock::now();
    rig.cycle.stop();
    EXPECT_LT(SteadyClock::now() - stopStarted, 2s);
    EXPECT_EQ(rig.cycle.liveWorkers(), 0);
    reopened.reset();

    EXPECT_EQ(badSlots, 0);
    EXPECT_EQ(badTables, 0);
    EXPECT_EQ(badInvariant, 0);
    EXPECT_GT(closesRefused, 0);
    EXPECT_GT(rig.list.stored.load(), 0);
    EXPECT_TRUE(rig.messages.shown.empty());

    const long ticks = static_cast<long>(ticksAtRelease);
    std::printf(
        "[soak] threads ticks %ld (%s) in %.1f s at %lld us, polled ticks %ld, "
        "exchanges %ld, reader copies %ld, connects %ld, disconnects %ld, drops %ld, "
        "closes refused during a tick %ld\n",
        ticks, ticks > kRingSlots ? "ring wrapped" : "no wrap", seconds,
        static_cast<long long>(period.count()), static_cast<long>(rig.list.stored.load()),
        rig.meter.exchanges.load(), copies.load(), connects, disconnects, drops, closesRefused);
    RecordProperty("ticks", static_cast<int>(ticks));
    RecordProperty("readerCopies", static_cast<int>(copies));
}
