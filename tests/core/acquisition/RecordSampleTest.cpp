#include <array>
#include <thread>

#include "core/store/DataFile.h"
#include "support/MeterReplies.h"
#include "support/StoreFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Consumption days 100.., months 1100..; solar days 200.., months 1200..; all raised by `shift`.
Bytes historyReply(bool solar, uint16_t shift = 0) {
    const uint16_t base = static_cast<uint16_t>((solar ? 200 : 100) + shift);
    MeterHistory history;
    for (int d = 0; d < kDays; ++d) history.days[d] = static_cast<uint16_t>(base + d);
    for (int m = 0; m < kMonths; ++m) history.months[m] = static_cast<uint16_t>(base + 1000 + m);
    return meterHistoryReply(solar ? "SOLDAY" : "COMDAY", history);
}

Bytes liveReply(const std::array<uint16_t, 16>& powers) {
    MeterLiveRecords records;
    for (int k = 1; k <= 15; ++k) records[k - 1] = {static_cast<uint16_t>(k), powers[k], '1'};
    return meterLiveReply(records);
}

class RecordSampleTest : public StoreFixture {
protected:
    // A meter on port 1 answering every poll; the live answer can be silenced.
    void connectMeter() {
        device = ports.attach(1);
        device->answer = [this](const Bytes& frame) -> Bytes {
            if (frame[1] == 0) return {0x12, 0x34};
            if (frame[1] == 1) return historyReply(false, historyShift);
            if (frame[1] == 14) {
                if (loseLinkAfterSolar) device->writeFails = true;
                return historyReply(true, historyShift);
            }
            if (duringLive) duringLive();
            return liveSilent ? Bytes{} : liveReply(powers);
        };
        ASSERT_TRUE(state.link.openDevice());
    }
    // Opens the document on a saved store with `count` samples ending now, every slot 7.
    void openOn(Recording& doc, int count) {
        auto image = std::make_unique<SampleStore>();
        for (auto& ring : image->samples) std::fill(std::begin(ring), std::end(ring), 7);
        image->count = image->writeIndex = static_cast<uint16_t>(count);
        image->startTime = static_cast<int32_t>(clock.now() - 5 * count);
        ASSERT_TRUE(DataFile::save(path("dast.data"), state.days, state.months, *image));
        ASSERT_TRUE(doc.open());
    }

    std::shared_ptr<ScriptedDevice> device;
    std::array<uint16_t, 16> powers{};
    bool liveSilent = false;
    uint16_t historyShift = 0;
    bool loseLinkAfterSolar = false;  // the live frame then cannot be written
    std::function<void()> duringLive;
};

TEST_F(RecordSampleTest, ClosedLinkRecordsZerosInEveryRingAndClearsLiveFields) {
    for (LiveReading& reading : state.live) reading = {1000, '1'};
    Recording doc(state);
    openOn(doc, 0);
    const int32_t startTime = copyOf(doc)->startTime;
    doc.recordSample();

    auto store = copyOf(doc);
    EXPECT_EQ(store->count, 1);
    EXPECT_EQ(store->writeIndex, 1);
    EXPECT_EQ(store->startTime, startTime);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(store->samples[k][0], 0) << "ring " << k;
        EXPECT_EQ(store->samples[k][1], 7) << "ring " << k;
        EXPECT_EQ(state.live[k].power, 0u) << "record " << k;
        if (k > 0) {
            EXPECT_EQ(state.live[k].state, 0) << "record " << k;
        }
    }
    EXPECT_EQ(listener.updated, 0);
}

TEST_F(RecordSampleTest, FullStoreDropsOldestAndTakesStartTimeFromClock) {
    Recording doc(state);
    const int32_t created = copyOf(doc)->startTime;
    for (int i = 0; i < kRingSlots; ++i) doc.recordSample();
    auto full = copyOf(doc);
    EXPECT_EQ(full->count, kRingSlots);
    EXPECT_EQ(full->writeIndex, 0);
    EXPECT_EQ(full->startTime, created);

    clock.advance(std::chrono::seconds(1234));
    doc.recordSample();
    auto wrapped = copyOf(doc);
    EXPECT_EQ(wrapped->writeIndex, 1);
    EXPECT_EQ(wrapped->startIndex, 1);
    EXPECT_EQ(wrapped->startTime, clock.now() - 86400);
}

TEST_F(RecordSampleTest, ConnectedTicksRecordLivePowersUntilTheLinkIsLost) {
    connectMeter();
    for (int k = 1; k <= 12; ++k) powers[k] = static_cast<uint16_t>(100 * k);
    powers[13] = 5000, powers[14] = 7000, powers[15] = 65535;
    duringLive = [this] {  // the channel dialog renames a channel while the line is busy
        std::lock_guard lock(state.dataLock);
        std::strcpy(state.config.channels[3].name, "Pump");
    };
    Recording doc(state);
    doc.recordSample();
    liveSilent = true;  // no live reply: the previous reading is recorded again
    doc.recordSample();
    // The link closes at the live frame: zeros and no notice, but the histories read before
    // it are kept.
    historyShift = 50;
    loseLinkAfterSolar = true;
    doc.recordSample();

    auto store = copyOf(doc);
    ASSERT_EQ(store->count, 3);
    EXPECT_EQ(store->samples[0][0], 7800);  // loads only: 100 + 200 + ... + 1200
    for (int k = 1; k <= 15; ++k) EXPECT_EQ(store->samples[k][0], powers[k]) << "ring " << k;
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(store->samples[k][1], store->samples[k][0]) << "ring " << k;
        EXPECT_EQ(store->samples[k][2], 0) << "ring " << k;
    }
    EXPECT_STREQ(state.config.channels[3].name, "Pump");
    EXPECT_EQ(state.days.consumption[0], 150);
    EXPECT_EQ(state.days.solar[39], 289);
    EXPECT_EQ(state.months.solar[0], 1250);
    EXPECT_FALSE(state.link.isOpen());
    EXPECT_EQ(listener.updated, 2);
    EXPECT_FALSE(doc.busy);
}

TEST_F(RecordSampleTest, ReaderCopiesNeverShowHalfASample) {
    connectMeter();
    duringLive = [this] {  // every poll brings new powers
        for (int k = 1; k <= 12; ++k) powers[k] = static_cast<uint16_t>(powers[k] + k);
    };
    Recording doc(state);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        auto copy = std::make_unique<SampleStore>();
        while (!done) {
            doc.copyStore(*copy);
            if (copy->count == 0) continue;
            const int last = (copy->writeIndex + kRingSlots - 1) % kRingSlots;
            int64_t loads = 0;
            for (int k = 1; k <= 12; ++k) loads += copy->samples[k][last];
            ASSERT_EQ(copy->samples[0][last], loads);
            std::this_thread::sleep_for(std::chrono::microseconds(100));  // a repaint's pace
        }
    });
    for (int i = 0; i < 100; ++i) doc.recordSample();
    done = true;
    reader.join();
}

TEST_F(RecordSampleTest, LastSamplesEndJustBeforeWriteIndexAcrossTheWrap) {
    Recording doc(state);
    openOn(doc, 5);
    const auto series = doc.lastSamples(2, 12);  // slots 17273..17279, then 0..4
    EXPECT_EQ(series, std::vector<int32_t>(12, 7));
    doc.recordSample();
    EXPECT_EQ(doc.lastSamples(2, 3), (std::vector<int32_t>{7, 7, 0}));
    EXPECT_EQ(doc.lastSamples(2, 20000).size(), size_t{kRingSlots});
    EXPECT_TRUE(doc.lastSamples(16, 12).empty());
}

}  // namespace

// Listeners (the archive) get the time of the slot the 24-hour store put the sample in,
// however long the poll took: a poll that waits out a missing reply keeps its own slot.
TEST_F(RecordSampleTest, ListenersGetTheTimeOfTheStoreSlot) {
    struct Listener final : SampleSink {
        void onMeterSample(const MeterSample& sample) override { times.push_back(sample.time); }
        void onLinkChanged(bool) override {}
        std::vector<int64_t> times;
    } listener;
    state.sampleSinks.push_back(&listener);
    connectMeter();
    Recording doc(state);
    for (int i = 0; i < 4; ++i) {
        // The second poll waits out a missing reply before the live record comes.
        duringLive = [this, i] {
            if (i == 1) clock.advance(std::chrono::milliseconds(1300));
        };
        doc.recordSample();
        clock.advance(std::chrono::seconds(5));
    }
    auto store = copyOf(doc);
    ASSERT_EQ(listener.times.size(), 4u);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(listener.times[j], store->startTime + 5 * j) << j;
}
