#include <sys/stat.h>

#include <fstream>

#include "core/base/CrashSafeFile.h"
#include "core/store/DataFile.h"
#include "support/StoreFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes slice(const Bytes& b, size_t at, size_t n) {
    return Bytes(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}
bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

TEST(DataFileImage, EveryBlockSitsAtItsOffsetLittleEndian) {
    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    days.solar[0] = 0x01020304, days.solar[39] = -1, days.consumption[0] = 0x05060708;
    months.solar[0] = 0x090A0B0C, months.consumption[11] = 0x0D0E0F10;
    store->startTime = 0x11223344, store->count = 3, store->startIndex = 17279;
    store->writeIndex = 2, store->reserved = 0xABCD;
    store->samples[0][0] = 0x21222324, store->samples[1][0] = 0x31, store->samples[15][17279] = -2;

    const Bytes b = DataFile::encode(days, months, *store);
    ASSERT_EQ(b.size(), 1106356u);
    EXPECT_EQ(slice(b, 0, 8), (Bytes{'V', 'e', 'r', '1', '.', '0', '1', 0}));
    EXPECT_EQ(slice(b, 8, 4), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(slice(b, 164, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(slice(b, 168, 4), (Bytes{8, 7, 6, 5}));
    EXPECT_EQ(slice(b, 328, 4), (Bytes{0x0C, 0x0B, 0x0A, 9}));
    EXPECT_EQ(slice(b, 420, 4), (Bytes{0x10, 0x0F, 0x0E, 0x0D}));
    EXPECT_EQ(slice(b, 424, 16), (Bytes{0x44, 0x33, 0x22, 0x11, 3, 0, 0x7F, 0x43, 2, 0, 0xCD, 0xAB,
                                        0x24, 0x23, 0x22, 0x21}));
    EXPECT_EQ(slice(b, 436 + 17280 * 4, 4), (Bytes{0x31, 0, 0, 0}));
    EXPECT_EQ(slice(b, 1106352, 4), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(DataFileImage, AnythingButAWholeSoundImageLeavesTargetsUntouched) {
    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    store->samples[4][100] = 77;
    Bytes good = DataFile::encode(days, months, *store);
    DayTable d{};
    d.solar[0] = 42;
    MonthTable m{};
    auto target = std::make_unique<SampleStore>();
    target->startTime = 99;
    auto rejected = [&](const Bytes& bytes, size_t size) {
        EXPECT_NE(DataFile::decode(bytes.data(), size, d, m, *target), DataFile::Load::Loaded)
            << size;
        EXPECT_EQ(d.solar[0], 42);
        EXPECT_EQ(target->startTime, 99);
        EXPECT_EQ(target->samples[4][100], 0);
    };
    const size_t whole = good.size();
    rejected(Bytes(whole, 0), whole);
    for (uint16_t count : {17281, 10, 0xFFFF}) {  // with writeIndex 0, all break the ring rules
        Bytes broken = good;
        broken[428] = uint8_t(count), broken[429] = uint8_t(count >> 8);
        rejected(broken, whole);
    }
    for (size_t boundary = 4096; boundary <= whole; boundary += 4096) {  // truncations
        for (size_t n : {boundary - 1, boundary, boundary + 1}) rejected(good, n);
    }
    rejected(good, 0), rejected(good, 1), rejected(good, whole - 1);
    // Oversizes: the image at the start is taken and what follows it ignored.
    good.resize(whole + 4097, 0x5A);
    for (size_t n : {whole + 1, whole + 4095, whole + 4097}) {
        auto store = std::make_unique<SampleStore>();
        EXPECT_EQ(DataFile::decode(good.data(), n, d, m, *store), DataFile::Load::Loaded) << n;
        EXPECT_EQ(store->samples[4][100], 77);
        EXPECT_EQ(store->samples[15][kRingSlots - 1], 0);
    }
}

class DataFileDocTest : public StoreFixture {};

TEST_F(DataFileDocTest, SavedStoreAndTablesComeBackWithTheOfflineGapZeroed) {
    auto before = std::make_unique<SampleStore>();
    {
        Recording doc(state);
        ASSERT_TRUE(doc.open());
        ASSERT_TRUE(doc.close());  // an empty store is still a whole file
        Bytes saved;
        ASSERT_TRUE(readWholeFile(path("dast.data"), saved, kDataFileSize));
        EXPECT_EQ(saved.size(), kDataFileSize);

        ASSERT_TRUE(doc.open());
        for (int i = 0; i < 3; ++i) doc.recordSample();
        state.days.solar[5] = 1234, state.months.consumption[2] = 65535;
        doc.copyStore(*before);
        ASSERT_TRUE(doc.close());
    }
    state.days = {}, state.months = {};
    Recording doc(state);
    ASSERT_TRUE(doc.open());
    EXPECT_EQ(std::memcmp(before.get(), copyOf(doc).get(), sizeof(SampleStore)), 0);
    EXPECT_EQ(state.days.solar[5], 1234);
    EXPECT_EQ(state.months.consumption[2], 65535);

    // Store end time 10 s before the load: two zero samples, at the end time and 5 s later.
    ASSERT_TRUE(doc.close());
    clock.advance(std::chrono::seconds(25));  // the three ticks end at startTime + 15
    Recording later(state);
    ASSERT_TRUE(later.open());
    auto store = copyOf(later);
    EXPECT_EQ(store->count, 5);
    EXPECT_EQ(store->writeIndex, 5);
    EXPECT_EQ(store->startTime, before->startTime);
}

TEST_F(DataFileDocTest, RejectedFilesGiveAFreshStoreAndOnlyAForeignTagIsDeleted) {
    DayTable days{};
    days.solar[0] = 5;
    auto image = std::make_unique<SampleStore>();
    image->count = image->writeIndex = 1;
    image->samples[1][0] = 300;
    const Bytes good = DataFile::encode(days, state.months, *image);
    const struct {
        Bytes bytes;
        bool deleted;
    } cases[] = {
        {[&] {
             Bytes b = good;
             b[6] = '0';
             return b;
         }(),
         true},  // "Ver1.00"
        {Bytes(kDataFileSize, 0), true},
        {slice(good, 0, 8192), false},
        {[&] {
             Bytes b = good;
             b[432] = 9;
             return b;
         }(),
         false},  // writeIndex out of step
    };
    for (const auto& c : cases) {
        std::ofstream(path("dast.data"), std::ios::binary)
            .write(reinterpret_cast<const char*>(c.bytes.data()), long(c.bytes.size()));
        Recording doc(state);
        ASSERT_TRUE(doc.open());
        auto store = copyOf(doc);
        EXPECT_EQ(store->count, 0);
        EXPECT_EQ(store->startTime, clock.now());
        EXPECT_EQ(store->samples[1][0], 0);
        EXPECT_EQ(state.days.solar[0], 0);
        EXPECT_EQ(exists(path("dast.data")), !c.deleted) << c.bytes.size();
    }
}

TEST_F(DataFileDocTest, FileWithOneHundredExtraBytesKeepsItsSamples) {
    DayTable days{};
    days.solar[5] = 1234;
    auto image = std::make_unique<SampleStore>();
    image->startTime = static_cast<int32_t>(clock.now() - 10);
    image->count = image->writeIndex = 2;
    image->samples[1][0] = 300, image->samples[15][1] = -7;
    Bytes file = DataFile::encode(days, state.months, *image);
    file.resize(file.size() + 100, 0xEE);
    std::ofstream(path("dast.data"), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), long(file.size()));

    Recording doc(state);
    ASSERT_TRUE(doc.open());
    auto store = copyOf(doc);
    EXPECT_EQ(store->startTime, image->startTime);
    EXPECT_EQ(store->samples[1][0], 300);
    EXPECT_EQ(store->samples[15][1], -7);
    EXPECT_EQ(state.days.solar[5], 1234);
}

TEST_F(DataFileDocTest, CloseDuringTickIsRefusedUnlessTheApplicationCloses) {
    Recording doc(state);
    ASSERT_TRUE(doc.open());
    doc.busy = true;
    EXPECT_FALSE(doc.close());
    EXPECT_FALSE(exists(path("dast.data")));
    EXPECT_EQ(state.currentRecording.load(), &doc);

    state.closing = true;
    EXPECT_TRUE(doc.close());
    EXPECT_TRUE(exists(path("dast.data")));
    EXPECT_FALSE(state.running);
    EXPECT_EQ(state.currentRecording.load(), nullptr);
}

}  // namespace
