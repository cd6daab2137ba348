// The archive writer and the publisher attached to the sampling cycle on a fast timer, with
// the status bar reading both and the archive settings changed while it runs: under
// ThreadSanitizer (-DKELVO_SANITIZE=thread) the race proof of the listeners. A real SQLite
// file and a real mosquitto broker on 127.0.0.1; bounded in ticks and in time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "core/acquisition/RecorderState.h"
#include "core/acquisition/Recording.h"
#include "core/acquisition/SamplingCycle.h"
#include "core/archive/ArchiveWriter.h"
#include "core/device/Protocol.h"
#include "core/publish/Publisher.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/ArchiveFixture.h"
#include "support/BrokerProcess.h"
#include "support/SoakScale.h"
#include "support/TempWorkDir.h"
#include "tools/meter-sim/ReplyComposer.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

// Counts what the listeners were handed.
struct CountingSink final : SampleSink {
    void onMeterSample(const MeterSample&) override { ++samples; }
    void onLinkChanged(bool) override {}
    std::atomic<long> samples{0};
};

Bytes answer(const Bytes& frame, uint16_t& poll) {
    if (frame[1] == protocol::kProbe) return {'O', 'K'};
    if (frame[1] == protocol::kConsumptionHistory) ++poll;
    if (frame[1] == protocol::kLive) {
        metersim::LiveSnapshot live;
        for (int r = 0; r < metersim::kLiveRecords; ++r)
            live[r] = {static_cast<uint16_t>(r + 1), static_cast<uint16_t>(poll + r),
                       metersim::kStateOn};
        return metersim::composeLiveReply(live);
    }
    metersim::EnergyHistory history;
    for (int i = 0; i < kDays; ++i) history.days[i] = static_cast<uint16_t>(poll / 64 + i);
    for (int j = 0; j < kMonths; ++j) history.months[j] = static_cast<uint16_t>(j);
    return metersim::composeHistoryReply(frame[1] == protocol::kSolarHistory, history);
}

}  // namespace

TEST(ArchivePublishSoak, WriterAndPublisherOnTheSamplingCycle) {
    BrokerProcess broker;
    ASSERT_TRUE(broker.start());
    TopicRecorder topics(broker.port());
    TempWorkDir dir;
    ScriptedPortOpener ports;
    RecordingMessageSink messages;
    FakeClock clock{kJuneFirst};
    RecorderState state{ports, messages, clock};
    state.config.appDir = dir.path();
    state.link.setHistoryDumpPath(dir.file("History.dat"));
    uint16_t poll = 0;  // touched only inside exchanges, which the link serialises
    ports.attach(1)->answer = [&poll](const Bytes& frame) { return answer(frame, poll); };

    ArchiveWriter archive(messages, clock);
    archive.configure({true, "kelvo-archive.sqlite", 0}, dir.path());
    Publisher publisher([](int, bool, std::string& outcome) {
        outcome = "not here";
        return false;
    });
    publisher.keepEnergyCountersIn(dir.path());
    PublishSettings mqtt;
    mqtt.enabled = true;
    mqtt.host = "127.0.0.1";
    mqtt.port = broker.port();
    publisher.configure(mqtt);
    CountingSink counted;
    state.sampleSinks = {&archive, &publisher, &counted};

    auto doc = std::make_unique<Recording>(state);
    std::atomic<Recording*> first{doc.get()};
    SamplingCycle cycle(state, [&first] { return first.load(); });

    const long target = soakCount(3000, 2, 300);
    const auto budget = 60s;
    std::atomic<bool> finished{false};
    std::atomic<long> reads{0};
    std::thread statusBar([&] {
        while (!finished) {
            // The status bar's poll; now and then the settings dialog's OK.
            const std::string text = archive.statusText() + publisher.statusText();
            if (++reads % 200 == 0)
                archive.configure({true, "kelvo-archive.sqlite", 30}, dir.path());
            std::this_thread::sleep_for(1ms);
        }
    });
    const auto started = std::chrono::steady_clock::now();
    cycle.start(2ms);
    doc->open();  // after start(), which forgets the current document
    cycle.onConnect(doc.get());
    while (counted.samples < target && std::chrono::steady_clock::now() - started < budget)
        std::this_thread::sleep_for(10ms);
    cycle.stop();
    finished = true;
    statusBar.join();
    archive.waitIdle();
    publisher.waitIdle();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const long samples = counted.samples;
    EXPECT_GE(samples, target) << "the budget ran out first";
    EXPECT_EQ(archive.statusText(), "");
    EXPECT_EQ(query(dir.file("kelvo-archive.sqlite"), "SELECT count(*) FROM power"),
              std::to_string(samples) + "\n");
    EXPECT_EQ(query(dir.file("kelvo-archive.sqlite"), "PRAGMA integrity_check"), "ok\n");
    EXPECT_EQ(topics.waitFor("kelvo/status", "online"), "online");
    EXPECT_NE(topics.waitFor("kelvo/power/total"), "<none>");
    EXPECT_TRUE(messages.shown.empty());
    std::printf("archive and publisher soak: %ld samples in %.1f s, %ld status reads\n", samples,
                seconds, reads.load());
}
