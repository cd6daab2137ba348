#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "StoreFixture.h"
#include "store/AtomicFile.h"
#include "store/DataFile.h"

namespace {

uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

TEST(DataFileImage, EveryBlockSitsAtItsOffsetLittleEndian) {
    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    days.solar[0] = 0x01020304;
    days.solar[39] = -1;
    days.consumption[0] = 0x05060708;
    months.solar[0] = 0x090A0B0C;
    months.consumption[11] = 0x0D0E0F10;
    store->startTime = 0x11223344;
    store->count = 3;
    store->startIndex = 17279;
    store->writeIndex = 2;
    store->reserved = 0xABCD;
    store->samples[0][0] = 0x21222324;
    store->samples[1][0] = 0x31323334;
    store->samples[15][17279] = -2;

    const std::vector<uint8_t> b = DataFile::encode(days, months, *store);
    ASSERT_EQ(b.size(), 1106356u);
    const std::vector<uint8_t> tag(b.begin(), b.begin() + 8);
    EXPECT_EQ(tag, (std::vector<uint8_t>{'V', 'e', 'r', '1', '.', '0', '1', 0}));
    EXPECT_EQ(b[8], 0x04);
    EXPECT_EQ(u32At(b, 8), 0x01020304u);
    EXPECT_EQ(u32At(b, 164), 0xFFFFFFFFu);
    EXPECT_EQ(u32At(b, 168), 0x05060708u);
    EXPECT_EQ(u32At(b, 328), 0x090A0B0Cu);
    EXPECT_EQ(u32At(b, 376 + 44), 0x0D0E0F10u);
    const std::vector<uint8_t> header(b.begin() + 424, b.begin() + 436);
    EXPECT_EQ(header,
              (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11, 3, 0, 0x7F, 0x43, 2, 0, 0xCD, 0xAB}));
    EXPECT_EQ(u32At(b, 436), 0x21222324u);
    EXPECT_EQ(u32At(b, 436 + 17280 * 4), 0x31323334u);
    EXPECT_EQ(u32At(b, 1106352), 0xFFFFFFFEu);
}

TEST(DataFileImage, AnythingButAWholeSoundImageLeavesTargetsUntouched) {
    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    store->samples[4][100] = 77;
    const std::vector<uint8_t> good = DataFile::encode(days, months, *store);

    std::vector<std::pair<std::string, std::vector<uint8_t>>> bad;
    for (size_t k = 0; k * 4096 <= good.size() + 1; ++k) {
        for (long delta : {-1L, 0L, 1L}) {
            const long size = static_cast<long>(k * 4096) + delta;
            if (size < 0 || size == static_cast<long>(good.size())) continue;
            std::vector<uint8_t> cut = good;
            cut.resize(static_cast<size_t>(size));
            bad.emplace_back("length " + std::to_string(size), cut);
        }
    }
    for (size_t n : {0, 1, 7, 8, 423, 424, 435}) {
        bad.emplace_back("length " + std::to_string(n),
                         std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n)));
    }
    auto withHeader = [&](int count, int startIndex, int writeIndex) {
        std::vector<uint8_t> b = good;
        b[428] = static_cast<uint8_t>(count), b[429] = static_cast<uint8_t>(count >> 8);
        b[430] = static_cast<uint8_t>(startIndex), b[431] = static_cast<uint8_t>(startIndex >> 8);
        b[432] = static_cast<uint8_t>(writeIndex), b[433] = static_cast<uint8_t>(writeIndex >> 8);
        return b;
    };
    bad.emplace_back("count over 17280", withHeader(17281, 0, 1));
    bad.emplace_back("startIndex out of range", withHeader(0, 17280, 17280));
    bad.emplace_back("writeIndex out of step", withHeader(10, 0, 11));
    bad.emplace_back("all 0xFF header", withHeader(0xFFFF, 0xFFFF, 0xFFFF));
    std::vector<uint8_t> oversized = good;
    oversized.resize(good.size() + 4096, 0x5A);
    bad.emplace_back("oversized", oversized);
    bad.emplace_back("all zero", std::vector<uint8_t>(good.size(), 0));

    for (const auto& [name, bytes] : bad) {
        DayTable d{};
        d.solar[0] = 42;
        MonthTable m{};
        auto target = std::make_unique<SampleStore>();
        target->startTime = 99;
        const DataFile::Load result = DataFile::decode(bytes.data(), bytes.size(), d, m, *target);
        EXPECT_NE(result, DataFile::Load::Loaded) << name;
        EXPECT_EQ(d.solar[0], 42) << name;
        EXPECT_EQ(target->startTime, 99) << name;
        EXPECT_EQ(target->samples[4][100], 0) << name;
    }
}

class DataFileDocTest : public StoreFixture {};

TEST_F(DataFileDocTest, EmptyStoreSavesFullSizeAndRoundTripsWithTables) {
    {
        CVornDoc doc(state);
        ASSERT_TRUE(doc.OnNewDocument());
        ASSERT_TRUE(doc.OnCloseDocument());
    }
    std::vector<uint8_t> saved;
    ASSERT_TRUE(readWholeFile(path("dast.data"), saved, kDataFileSize));
    EXPECT_EQ(saved.size(), kDataFileSize);
    EXPECT_EQ(saved[428], 0);  // count 0

    CVornDoc doc(state);
    ASSERT_TRUE(doc.OnNewDocument());
    for (int i = 0; i < 3; ++i) doc.RecordSample();
    state.days.solar[5] = 1234;
    state.months.consumption[2] = 65535;
    auto before = copyOf(doc);
    ASSERT_TRUE(doc.OnCloseDocument());

    state.days = {};
    state.months = {};
    CVornDoc reopened(state);
    ASSERT_TRUE(reopened.OnNewDocument());
    auto after = copyOf(reopened);
    EXPECT_EQ(std::memcmp(before.get(), after.get(), sizeof(SampleStore)), 0);
    EXPECT_EQ(state.days.solar[5], 1234);
    EXPECT_EQ(state.months.consumption[2], 65535);
}

TEST_F(DataFileDocTest, LoadFillsTheOfflineGapWithZeroSamples) {
    auto image = std::make_unique<SampleStore>();
    image->count = 4;
    image->writeIndex = 4;
    for (auto& ring : image->samples) std::fill(std::begin(ring), std::end(ring), 9);
    image->startTime = static_cast<int32_t>(clock.now() - 10 - 5 * 4);  // ends 10 s ago
    ASSERT_TRUE(DataFile::save(path("dast.data"), state.days, state.months, *image));

    CVornDoc doc(state);
    ASSERT_TRUE(doc.OnNewDocument());
    auto store = copyOf(doc);
    EXPECT_EQ(store->count, 6);
    EXPECT_EQ(store->writeIndex, 6);
    EXPECT_EQ(store->startTime, image->startTime);
    EXPECT_EQ(store->samples[3][3], 9);
    EXPECT_EQ(store->samples[3][4], 0);
    EXPECT_EQ(store->samples[3][5], 0);
    EXPECT_EQ(store->samples[3][6], 9);
}

TEST_F(DataFileDocTest, RejectedFilesGiveAFreshStoreAndOnlyAForeignTagIsDeleted) {
    DayTable days{};
    days.solar[0] = 5;
    auto image = std::make_unique<SampleStore>();
    image->count = 1;
    image->writeIndex = 1;
    image->samples[1][0] = 300;
    std::vector<uint8_t> good = DataFile::encode(days, state.months, *image);

    std::vector<uint8_t> olderTag = good;
    olderTag[6] = '0';  // "Ver1.00"
    std::vector<uint8_t> shortFile(good.begin(), good.begin() + 8192);
    std::vector<uint8_t> broken = good;
    broken[432] = 9;  // writeIndex out of step with count
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool deleted;
    } cases[] = {
        {"older tag", olderTag, true},
        {"all zero", std::vector<uint8_t>(kDataFileSize, 0), true},
        {"short", shortFile, false},
        {"broken header", broken, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(path("dast.data"), c.bytes);
        state.days = {};
        CVornDoc doc(state);
        ASSERT_TRUE(doc.OnNewDocument());
        auto store = copyOf(doc);
        EXPECT_EQ(store->count, 0);
        EXPECT_EQ(store->startTime, clock.now());
        EXPECT_EQ(store->samples[1][0], 0);
        EXPECT_EQ(state.days.solar[0], 0);
        EXPECT_EQ(exists(path("dast.data")), !c.deleted);
    }
}

TEST_F(DataFileDocTest, CloseDuringTickIsRefusedUnlessTheApplicationCloses) {
    CVornDoc doc(state);
    ASSERT_TRUE(doc.OnNewDocument());
    doc.busy = true;
    EXPECT_FALSE(doc.OnCloseDocument());
    EXPECT_FALSE(exists(path("dast.data")));
    EXPECT_TRUE(state.running);
    EXPECT_EQ(state.currentDoc.load(), &doc);

    state.closing = true;
    EXPECT_TRUE(doc.OnCloseDocument());
    EXPECT_TRUE(exists(path("dast.data")));
    EXPECT_FALSE(state.running);
    EXPECT_EQ(state.currentDoc.load(), nullptr);
}

TEST_F(DataFileDocTest, FailedSaveKeepsThePreviousFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into a read-only directory";
    CVornDoc doc(state);
    ASSERT_TRUE(doc.OnNewDocument());
    doc.RecordSample();
    ASSERT_TRUE(doc.OnCloseDocument());
    std::vector<uint8_t> first;
    ASSERT_TRUE(readWholeFile(path("dast.data"), first, kDataFileSize));

    ::chmod(dir.c_str(), 0500);  // no new files in the directory
    doc.RecordSample();
    EXPECT_TRUE(doc.OnCloseDocument());
    ::chmod(dir.c_str(), 0700);
    std::vector<uint8_t> now;
    ASSERT_TRUE(readWholeFile(path("dast.data"), now, kDataFileSize));
    EXPECT_EQ(now, first);
}

}  // namespace
