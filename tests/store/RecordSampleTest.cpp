#include <array>
#include <numeric>

#include "StoreFixture.h"
#include "store/DataFile.h"

namespace {

using Bytes = std::vector<uint8_t>;

void putU16(Bytes& b, uint16_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
Bytes withChecksum(Bytes b) {
    b.push_back(static_cast<uint8_t>(std::accumulate(b.begin(), b.end(), 0u)));
    return b;
}
// Tag, 40 u16 LE days, "MON", 12 u16 LE months, checksum.
Bytes historyReply(const char* tag, uint16_t base) {
    Bytes b(tag, tag + 6);
    for (int d = 0; d < 40; ++d) putU16(b, static_cast<uint16_t>(base + d));
    b.insert(b.end(), {'M', 'O', 'N'});
    for (int m = 0; m < 12; ++m) putU16(b, static_cast<uint16_t>(base + 1000 + m));
    return withChecksum(b);
}
// Records 1..15: 'S', 2 unused, number u16 BE, power u16 LE, state; checksum.
Bytes liveReply(const std::array<uint16_t, 16>& powers) {
    Bytes b;
    for (int k = 1; k <= 15; ++k) {
        b.insert(b.end(), {'S', 0, 0, 0, uint8_t(k)});
        putU16(b, powers[k]);
        b.push_back('1');
    }
    return withChecksum(b);
}

class RecordSampleTest : public StoreFixture {
protected:
    // A meter on port 1 answering every poll; the live answer can be silenced.
    void connectMeter() {
        device = ports.attach(1);
        device->answer = [this](const Bytes& frame) -> Bytes {
            if (frame[1] == 0) return {0x12, 0x34};
            if (frame[1] == 1) return historyReply("COMDAY", 100);
            if (frame[1] == 14) return historyReply("SOLDAY", 200);
            if (duringLive) duringLive();
            return liveSilent ? Bytes{} : liveReply(powers);
        };
        ASSERT_EQ(state.link.OpenDevice(), 1);
    }
    // Opens the document on a saved store with `count` samples ending now, every slot 7.
    void openOn(CVornDoc& doc, int count) {
        auto image = std::make_unique<SampleStore>();
        for (auto& ring : image->samples) std::fill(std::begin(ring), std::end(ring), 7);
        image->count = image->writeIndex = static_cast<uint16_t>(count);
        image->startTime = static_cast<int32_t>(clock.now() - 5 * count);
        ASSERT_TRUE(DataFile::save(path("dast.data"), state.days, state.months, *image));
        ASSERT_TRUE(doc.OnNewDocument());
    }

    std::shared_ptr<ScriptedDevice> device;
    std::array<uint16_t, 16> powers{};
    bool liveSilent = false;
    std::function<void()> duringLive;
};

TEST_F(RecordSampleTest, ClosedLinkRecordsZerosInEveryRingAndClearsLiveFields) {
    for (auto& record : state.config.channels) record.power = 1000, record.state = '1';
    CVornDoc doc(state);
    openOn(doc, 0);
    const int32_t startTime = copyOf(doc)->startTime;
    doc.RecordSample();

    auto store = copyOf(doc);
    EXPECT_EQ(store->count, 1);
    EXPECT_EQ(store->writeIndex, 1);
    EXPECT_EQ(store->startTime, startTime);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(store->samples[k][0], 0) << "ring " << k;
        EXPECT_EQ(store->samples[k][1], 7) << "ring " << k;
        EXPECT_EQ(state.config.channels[k].power, 0u) << "record " << k;
        if (k > 0) {
            EXPECT_EQ(state.config.channels[k].state, 0) << "record " << k;
        }
    }
    EXPECT_EQ(window->dataUpdated, 0);
}

TEST_F(RecordSampleTest, FullStoreDropsOldestAndTakesStartTimeFromClock) {
    CVornDoc doc(state);
    const int32_t created = copyOf(doc)->startTime;
    for (int i = 0; i < kRingSlots; ++i) doc.RecordSample();
    auto full = copyOf(doc);
    EXPECT_EQ(full->count, kRingSlots);
    EXPECT_EQ(full->writeIndex, 0);
    EXPECT_EQ(full->startTime, created);

    clock.advance(std::chrono::seconds(1234));
    doc.RecordSample();
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
    CVornDoc doc(state);
    doc.RecordSample();
    liveSilent = true;  // no live reply: the previous reading is recorded again
    doc.RecordSample();
    device->writeFails = true;  // the link closes on the first frame: zeros, no notice
    doc.RecordSample();

    auto store = copyOf(doc);
    ASSERT_EQ(store->count, 3);
    EXPECT_EQ(store->samples[0][0], 7800);  // loads only: 100 + 200 + ... + 1200
    for (int k = 1; k <= 15; ++k) EXPECT_EQ(store->samples[k][0], powers[k]) << "ring " << k;
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(store->samples[k][1], store->samples[k][0]) << "ring " << k;
        EXPECT_EQ(store->samples[k][2], 0) << "ring " << k;
    }
    EXPECT_STREQ(state.config.channels[3].name, "Pump");
    EXPECT_EQ(state.days.consumption[0], 100);
    EXPECT_EQ(state.days.solar[39], 239);
    EXPECT_EQ(state.months.solar[0], 1200);
    EXPECT_FALSE(state.link.isOpen());
    EXPECT_EQ(window->dataUpdated, 2);
    EXPECT_FALSE(doc.busy);
}

TEST_F(RecordSampleTest, LastSamplesEndJustBeforeWriteIndexAcrossTheWrap) {
    CVornDoc doc(state);
    openOn(doc, 5);
    const auto series = doc.lastSamples(2, 12);  // slots 17273..17279, then 0..4
    EXPECT_EQ(series, std::vector<int32_t>(12, 7));
    doc.RecordSample();
    EXPECT_EQ(doc.lastSamples(2, 3), (std::vector<int32_t>{7, 7, 0}));
    EXPECT_EQ(doc.lastSamples(2, 20000).size(), size_t{kRingSlots});
    EXPECT_TRUE(doc.lastSamples(16, 12).empty());
}

}  // namespace
