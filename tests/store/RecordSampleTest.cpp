#include <array>
#include <cstring>
#include <numeric>

#include "StoreFixture.h"
#include "store/DataFile.h"

namespace {

using Bytes = std::vector<uint8_t>;

void appendChecksum(Bytes& reply) {
    reply.push_back(static_cast<uint8_t>(std::accumulate(reply.begin(), reply.end(), 0u)));
}

// 114 bytes: tag, 40 u16 LE days, "MON", 12 u16 LE months, checksum.
Bytes historyReply(const char* tag, uint16_t base) {
    Bytes reply(tag, tag + 6);
    for (int d = 0; d < 40; ++d) {
        const uint16_t v = static_cast<uint16_t>(base + d);
        reply.insert(reply.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    }
    reply.insert(reply.end(), {'M', 'O', 'N'});
    for (int m = 0; m < 12; ++m) {
        const uint16_t v = static_cast<uint16_t>(base + 1000 + m);
        reply.insert(reply.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    }
    appendChecksum(reply);
    return reply;
}

// 121 bytes: records 1..15 of 'S', 2 unused, number u16 BE, power u16 LE, state; checksum.
Bytes liveReply(const std::array<uint16_t, 16>& powers) {
    Bytes reply;
    for (int k = 1; k <= 15; ++k) {
        reply.insert(reply.end(),
                     {'S', 0, 0, 0, static_cast<uint8_t>(k), static_cast<uint8_t>(powers[k]),
                      static_cast<uint8_t>(powers[k] >> 8), '1'});
    }
    appendChecksum(reply);
    return reply;
}

class RecordSampleTest : public StoreFixture {
protected:
    // A meter on port 1 that answers every poll; live answers can be silenced.
    void connectMeter() {
        device = ports.attach(1);
        device->answer = [this](const Bytes& frame) -> Bytes {
            switch (frame[1]) {
                case 0:
                    return {0x12, 0x34, 0x56};
                case 1:
                    return historyReply("COMDAY", 100);
                case 14:
                    return historyReply("SOLDAY", 200);
                case 2:
                    if (duringLive) duringLive();
                    return liveSilent ? Bytes{} : liveReply(powers);
                default:
                    return {};
            }
        };
        ASSERT_EQ(state.link.OpenDevice(), 1);
    }

    std::shared_ptr<ScriptedDevice> device;
    std::array<uint16_t, 16> powers{};
    bool liveSilent = false;
    std::function<void()> duringLive;
};

TEST_F(RecordSampleTest, ClosedLinkRecordsZerosInEveryRingAndClearsLiveFields) {
    // Start from a store whose rings hold non-zero values everywhere.
    auto image = std::make_unique<SampleStore>();
    for (auto& ring : image->samples) std::fill(std::begin(ring), std::end(ring), 7);
    image->startTime = static_cast<int32_t>(clock.now());
    ASSERT_TRUE(DataFile::save(path("dast.data"), state.days, state.months, *image));
    for (int k = 0; k < 16; ++k) {
        state.config.channels[k].power = 1000 + k;
        state.config.channels[k].state = '1';
    }
    CVornDoc doc(state);
    ASSERT_TRUE(doc.OnNewDocument());

    doc.RecordSample();

    auto store = copyOf(doc);
    EXPECT_EQ(store->count, 1);
    EXPECT_EQ(store->writeIndex, 1);
    EXPECT_EQ(store->startIndex, 0);
    EXPECT_EQ(store->startTime, image->startTime);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(store->samples[k][0], 0) << "ring " << k;
        EXPECT_EQ(store->samples[k][1], 7) << "ring " << k;
        EXPECT_EQ(state.config.channels[k].power, 0u) << "record " << k;
        EXPECT_EQ(state.config.channels[k].state, k == 0 ? '1' : 0) << "record " << k;
    }
    EXPECT_EQ(window->dataUpdated, 0);
    EXPECT_FALSE(doc.busy);
}

TEST_F(RecordSampleTest, FullStoreDropsOldestAndTakesStartTimeFromClock) {
    CVornDoc doc(state);
    const int32_t created = copyOf(doc)->startTime;
    for (int i = 0; i < kRingSlots; ++i) doc.RecordSample();
    auto full = copyOf(doc);
    EXPECT_EQ(full->count, kRingSlots);
    EXPECT_EQ(full->writeIndex, 0);
    EXPECT_EQ(full->startIndex, 0);
    EXPECT_EQ(full->startTime, created);

    clock.advance(std::chrono::seconds(1234));
    doc.RecordSample();
    auto wrapped = copyOf(doc);
    EXPECT_EQ(wrapped->count, kRingSlots);
    EXPECT_EQ(wrapped->writeIndex, 1);
    EXPECT_EQ(wrapped->startIndex, 1);
    EXPECT_EQ(wrapped->startTime, clock.now() - 86400);
}

TEST_F(RecordSampleTest, OpenLinkRecordsLivePowersAndTotalOfLoadsOnly) {
    connectMeter();
    for (int k = 1; k <= 12; ++k) powers[k] = static_cast<uint16_t>(100 * k);
    powers[13] = 5000;
    powers[14] = 7000;
    powers[15] = 65535;
    CVornDoc doc(state);

    doc.RecordSample();

    auto store = copyOf(doc);
    EXPECT_EQ(store->count, 1);
    EXPECT_EQ(store->samples[0][0], 7800);  // 100 + 200 + ... + 1200
    EXPECT_EQ(state.config.channels[0].power, 7800u);
    for (int k = 1; k <= 15; ++k) EXPECT_EQ(store->samples[k][0], powers[k]) << "ring " << k;
    EXPECT_EQ(state.days.consumption[0], 100);
    EXPECT_EQ(state.days.solar[39], 239);
    EXPECT_EQ(state.months.consumption[11], 1111);
    EXPECT_EQ(state.months.solar[0], 1200);
    EXPECT_EQ(window->dataUpdated, 1);
    EXPECT_FALSE(doc.busy);
}

TEST_F(RecordSampleTest, SilentLiveReadRecordsThePreviousReadingAgain) {
    connectMeter();
    for (int k = 1; k <= 15; ++k) powers[k] = static_cast<uint16_t>(10 + k);
    CVornDoc doc(state);
    doc.RecordSample();
    liveSilent = true;
    doc.RecordSample();

    auto store = copyOf(doc);
    ASSERT_EQ(store->count, 2);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(store->samples[k][1], store->samples[k][0]);
    EXPECT_TRUE(state.link.isOpen());
    EXPECT_EQ(window->dataUpdated, 2);
}

TEST_F(RecordSampleTest, NameEditedDuringPollIsNotOverwritten) {
    connectMeter();
    duringLive = [this] {
        // The channel dialog renames a channel while the exchange is on the line.
        std::lock_guard lock(state.dataLock);
        std::strcpy(state.config.channels[3].name, "Pump");
    };
    powers[3] = 450;
    CVornDoc doc(state);
    doc.RecordSample();
    EXPECT_STREQ(state.config.channels[3].name, "Pump");
    EXPECT_EQ(state.config.channels[3].power, 450u);
    EXPECT_EQ(state.config.channels[3].state, '1');
}

TEST_F(RecordSampleTest, LinkLostDuringPollRecordsZerosWithoutNotice) {
    connectMeter();
    powers[1] = 999;
    CVornDoc doc(state);
    doc.RecordSample();
    device->writeFails = true;  // the first frame of the next poll cannot be written

    doc.RecordSample();

    EXPECT_FALSE(state.link.isOpen());
    auto store = copyOf(doc);
    EXPECT_EQ(store->count, 2);
    EXPECT_EQ(store->samples[1][0], 999);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(store->samples[k][1], 0);
    EXPECT_EQ(state.config.channels[1].power, 0u);
    EXPECT_EQ(window->dataUpdated, 1);
}

TEST_F(RecordSampleTest, LastSamplesEndJustBeforeWriteIndexAcrossTheWrap) {
    auto image = std::make_unique<SampleStore>();
    for (int slot = 0; slot < kRingSlots; ++slot) image->samples[2][slot] = slot;
    image->count = 5;
    image->writeIndex = 5;
    image->startTime = static_cast<int32_t>(clock.now() - 25);  // ends now: no gap to fill
    ASSERT_TRUE(DataFile::save(path("dast.data"), state.days, state.months, *image));
    CVornDoc doc(state);
    ASSERT_TRUE(doc.OnNewDocument());

    const std::vector<int32_t> expected = {17273, 17274, 17275, 17276, 17277, 17278,
                                           17279, 0,     1,     2,     3,     4};
    EXPECT_EQ(doc.lastSamples(2, 12), expected);
    EXPECT_EQ(doc.lastSamples(2, 20000).size(), size_t{kRingSlots});
    EXPECT_TRUE(doc.lastSamples(16, 12).empty());
    EXPECT_TRUE(doc.lastSamples(-1, 12).empty());
}

}  // namespace
