#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "TempWorkDir.h"
#include "app/Clock.h"
#include "app/Configuration.h"

namespace {

using Bytes = std::vector<uint8_t>;

class SetClock final : public Clock {
public:
    int64_t now() const override { return seconds; }
    void sleepFor(std::chrono::milliseconds) override {}
    int64_t seconds = 1'700'000'000;
};

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

uint32_t u32At(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void putU16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void putU32(Bytes& b, size_t at, uint32_t v) {
    putU16(b, at, static_cast<uint16_t>(v));
    putU16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

constexpr size_t record(int i) { return 2 + 76 * static_cast<size_t>(i); }
constexpr size_t scopeRow(int i) { return 1222 + 16 * static_cast<size_t>(i); }

Bytes defaultImage() { return writeConfigImage(Configuration::defaults()); }

// What any reader of the working copy relies on, whatever file it came from.
void expectUsable(const Configuration& c) {
    for (const ChannelRecord& r : c.channels) {
        ASSERT_NE(std::memchr(r.name, 0, sizeof r.name), nullptr);
        ASSERT_EQ(r.power, 0u);
        ASSERT_EQ(r.state, 0);
    }
    ASSERT_NE(std::memchr(c.password, 0, sizeof c.password), nullptr);
    ASSERT_GE(c.scopes.size(), size_t{kScopeEntries});
    ASSERT_LT(c.scopeIndex, c.scopes.size());
    for (const ScopeEntry& e : c.scopes) {
        ASSERT_GE(e.samples, 1);
        ASSERT_LE(e.samples, kMaxScopeSamples);
    }
    ASSERT_EQ(c.scopeSamples(), c.scopes[c.scopeIndex].samples);
    ASSERT_GE(c.exportInterval, kMinExportInterval);
    ASSERT_LE(c.extraData.size(), 255u);
}

// Reads an image from a buffer of exactly its size, so a sanitizer sees any read past it.
Configuration readExact(const Bytes& image, bool* whole = nullptr) {
    Configuration c = Configuration::defaults();
    auto buffer = std::make_unique<uint8_t[]>(image.size());
    if (!image.empty()) std::memcpy(buffer.get(), image.data(), image.size());
    const bool ok = readConfigImage(buffer.get(), image.size(), c);
    if (whole) *whole = ok;
    return c;
}

}  // namespace

TEST(ConfigFile, FirstStartWritesTheDefaultFileByteForByte) {
    TempWorkDir dir;
    SetClock clock;
    Configuration config;
    EXPECT_FALSE(LoadConfig(config, clock));
    EXPECT_EQ(config.appDir, dir.path());
    clock.seconds = 0x6553F100;
    ASSERT_TRUE(SaveConfig(config, clock));

    const Bytes b = readFile(dir.file("dast.cfg"));
    ASSERT_EQ(b.size(), 1365u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 2), (Bytes{0x10, 0x00}));
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(Bytes(b.begin() + record(i), b.begin() + record(i + 1)), Bytes(76, 0))
            << "record " << i;
    }
    Bytes consumption(76, 0), solar(76, 0);
    std::memcpy(consumption.data(), "Consumption", 11);
    consumption[64] = 14;
    std::memcpy(solar.data(), "Solar", 5);
    solar[64] = 15;
    EXPECT_EQ(Bytes(b.begin() + record(14), b.begin() + record(15)), consumption);
    EXPECT_EQ(Bytes(b.begin() + record(15), b.begin() + 1218), solar);
    EXPECT_EQ(Bytes(b.begin() + 1218, b.begin() + 1222), (Bytes{0x04, 0x00, 0x07, 0x00}));
    const Bytes rows[7] = {
        {0x57, 0x79, 0x65, 0x8B, 0x62, 0xC1, 0x46, 0x3F, 12, 0, 0, 0, 0, 0, 0, 0},
        {0xC4, 0x48, 0x06, 0xEB, 0xC5, 0x71, 0x6C, 0x3F, 60, 0, 0, 0, 0, 0, 0, 0},
        {0xB6, 0xA4, 0xDD, 0xC7, 0x55, 0x55, 0x85, 0x3F, 180, 0, 0, 0, 0, 0, 0, 0},
        {0xA5, 0x2D, 0x11, 0x1C, 0x55, 0x55, 0x95, 0x3F, 0x68, 0x01, 0, 0, 0, 0, 0, 0},
        {0x2E, 0x69, 0xF7, 0x71, 0x55, 0x55, 0xA5, 0x3F, 0xD0, 0x02, 0, 0, 0, 0, 0, 0},
        {0, 0, 0, 0, 0, 0, 0xC0, 0x3F, 0x70, 0x08, 0, 0, 0, 0, 0, 0},
        {0, 0, 0, 0, 0, 0, 0xD0, 0x3F, 0xE0, 0x10, 0, 0, 0, 0, 0, 0},
    };
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(Bytes(b.begin() + scopeRow(i), b.begin() + scopeRow(i + 1)), rows[i])
            << "scope row " << i;
    }
    EXPECT_EQ(Bytes(b.begin() + 1334, b.begin() + 1355), Bytes(21, 0));  // password .. first
    EXPECT_EQ(Bytes(b.begin() + 1355, b.begin() + 1359), (Bytes{0x00, 0xF1, 0x53, 0x65}));
    EXPECT_EQ(Bytes(b.begin() + 1359, b.end()), (Bytes{0, 0, 0x3C, 0, 0, 0}));
}

TEST(ConfigFile, FirstLoadTimeIsSetByTheSecondStartAndKeptAfterwards) {
    TempWorkDir dir;
    SetClock clock;
    Configuration config;
    clock.seconds = 1000;
    LoadConfig(config, clock);
    EXPECT_EQ(config.firstLoadTime, 0u);  // no file read yet
    SaveConfig(config, clock);
    EXPECT_EQ(u32At(readFile("dast.cfg"), 1351), 0u);

    clock.seconds = 2000;
    ASSERT_TRUE(LoadConfig(config, clock));
    EXPECT_EQ(config.firstLoadTime, 2000u);
    clock.seconds = 2500;
    SaveConfig(config, clock);

    clock.seconds = 3000;
    ASSERT_TRUE(LoadConfig(config, clock));
    EXPECT_EQ(config.firstLoadTime, 2000u);
    EXPECT_EQ(config.lastSaveTime, 2500u);
    clock.seconds = 3500;
    SaveConfig(config, clock);
    const Bytes b = readFile("dast.cfg");
    EXPECT_EQ(u32At(b, 1351), 2000u);
    EXPECT_EQ(u32At(b, 1355), 3500u);
}

// A user's file with everything the program does not interpret set: spare bytes, reserved
// bytes, extraData, an extra scope row, records past 16. Only power, state and the save time
// may differ after a load and a save.
TEST(ConfigFile, EverythingButRunTimeFieldsSurvivesLoadAndSave) {
    TempWorkDir dir;
    SetClock clock;
    Configuration original = Configuration::defaults();
    for (int i = 0; i < 16; ++i) {
        std::snprintf(original.channels[i].name, 64, "Kanal %d", i);
        original.channels[i].number = static_cast<uint16_t>(i);
        original.channels[i].spare1[1] = static_cast<uint8_t>(0xA0 + i);
        original.channels[i].spare2[2] = static_cast<uint8_t>(0xB0 + i);
    }
    original.surplusChannels.resize(2);
    std::strcpy(original.surplusChannels[1].name, "Carport");
    original.surplusChannels[1].power = 77;  // nothing reads records past 16: kept as they are
    original.scopes.push_back(ScopeEntry{2.0, 1234, {1, 2, 3, 4}});
    original.scopes[0].spare[3] = 0x5A;
    original.scopeIndex = 7;
    std::strcpy(original.password, "geheim");
    original.reserved1 = 0xC3;
    original.reserved2 = 0x3C;
    original.firstLoadTime = 111;
    original.extraData = {9, 8, 7, 6, 5};
    original.exportInterval = 86400;
    Bytes image = writeConfigImage(original);
    ASSERT_EQ(image.size(), 1365u + 2 * 76 + 16 + 5);

    Bytes withLiveFields = image;
    for (int i = 0; i < 16; ++i) {
        putU32(withLiveFields, record(i) + 68, 1000u + i);
        withLiveFields[record(i) + 72] = '1';
    }
    writeFile("dast.cfg", withLiveFields);
    Configuration config;
    ASSERT_TRUE(LoadConfig(config, clock));
    for (const ChannelRecord& r : config.channels) {
        EXPECT_EQ(r.power, 0u);
        EXPECT_EQ(r.state, 0);
    }
    clock.seconds = 0x01020304;
    ASSERT_TRUE(SaveConfig(config, clock));
    putU32(image, image.size() - 4 - 5 - 1 - 1 - 4, 0x01020304);  // lastSaveTime
    EXPECT_EQ(readFile("dast.cfg"), image);
}

TEST(ConfigFile, FileThatCannotBeReadOrWrittenLeavesDefaultsAndReportsFailure) {
    TempWorkDir dir;
    SetClock clock;
    Configuration config;
    std::filesystem::create_directory("dast.cfg");  // opens, but is no file
    EXPECT_FALSE(LoadConfig(config, clock));
    EXPECT_EQ(writeConfigImage(config), defaultImage());

    config.appDir = dir.file("missing/sub");
    EXPECT_FALSE(SaveConfig(config, clock));

    // A failed save leaves the previous file as it was.
    config.appDir = dir.path();
    std::filesystem::remove("dast.cfg");
    ASSERT_TRUE(SaveConfig(config, clock));
    const Bytes before = readFile("dast.cfg");
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    config.exportInterval = 99;
    const bool saved = SaveConfig(config, clock);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    if (::geteuid() != 0) {
        EXPECT_FALSE(saved);  // root writes into read-only directories
    }
    if (!saved) {
        EXPECT_EQ(readFile("dast.cfg"), before);
    }
}

// Files that break the rules the program relies on: each keeps what is complete and repairs
// the rest.
TEST(ConfigFile, RuleBreakingFilesAreSalvaged) {
    struct Case {
        const char* what;
        std::function<Bytes()> image;
        std::function<void(const Configuration&)> check;
    };
    auto named = [] {
        Configuration c = Configuration::defaults();
        for (int i = 1; i <= 12; ++i) std::snprintf(c.channels[i].name, 64, "Load %d", i);
        c.exportInterval = 300;
        return c;
    };
    const Case cases[] = {
        {"three channel records",
         [&] {
             Configuration c = named();
             Bytes b = writeConfigImage(c);
             b.erase(b.begin() + record(3), b.begin() + record(16));
             putU16(b, 0, 3);
             return b;
         },
         [](const Configuration& c) {
             EXPECT_STREQ(c.channels[2].name, "Load 2");
             EXPECT_STREQ(c.channels[3].name, "");
             EXPECT_STREQ(c.channels[14].name, "Consumption");
             EXPECT_EQ(c.exportInterval, 300u);  // later fields read at their true place
         }},
        {"file ends inside record 5",
         [&] {
             Bytes b = writeConfigImage(named());
             b.resize(record(5) + 40);
             return b;
         },
         [](const Configuration& c) {
             EXPECT_STREQ(c.channels[4].name, "Load 4");
             EXPECT_STREQ(c.channels[5].name, "");
             EXPECT_STREQ(c.channels[15].name, "Solar");
             EXPECT_EQ(c.exportInterval, kDefaultExportInterval);
         }},
        {"count claims 60000 records",
         [&] {
             Bytes b = writeConfigImage(named());
             putU16(b, 0, 60000);
             return b;
         },
         [](const Configuration& c) {
             EXPECT_STREQ(c.channels[12].name, "Load 12");
             // What follows record 15 is taken for records as far as they are complete.
             EXPECT_EQ(c.surplusChannels.size(), (1365u - 1218u) / 76u);
         }},
        {"names and password without NUL",
         [&] {
             Bytes b = defaultImage();
             std::memset(&b[record(3)], 'x', 64);
             std::memset(&b[1334], 'p', 16);
             return b;
         },
         [](const Configuration& c) {
             EXPECT_EQ(std::string(c.channels[3].name), std::string(63, 'x'));
             EXPECT_EQ(std::string(c.password), std::string(15, 'p'));
         }},
        {"scope index past the table",
         [&] {
             Bytes b = defaultImage();
             putU16(b, 1218, 7);
             return b;
         },
         [](const Configuration& c) { EXPECT_EQ(c.scopeIndex, kDefaultScopeIndex); }},
        {"two scope rows",
         [&] {
             Configuration c = named();
             c.scopes.resize(2);
             c.scopes[1].samples = 99;
             c.scopeIndex = 6;
             return writeConfigImage(c);
         },
         [](const Configuration& c) {
             ASSERT_EQ(c.scopes.size(), 7u);
             EXPECT_EQ(c.scopes[1].samples, 99);
             EXPECT_EQ(c.scopes[6].samples, 4320);
             EXPECT_EQ(c.scopeIndex, 6);
             EXPECT_EQ(c.exportInterval, 300u);
         }},
        {"scope samples outside one ring",
         [&] {
             Bytes b = defaultImage();
             putU32(b, scopeRow(0) + 8, 0);
             putU32(b, scopeRow(4) + 8, 17281);
             putU32(b, scopeRow(6) + 8, 0xFFFFFFFF);
             return b;
         },
         [](const Configuration& c) {
             EXPECT_EQ(c.scopes[0].samples, 12);
             EXPECT_EQ(c.scopeSamples(), 720);
             EXPECT_EQ(c.scopes[6].samples, 4320);
         }},
        {"interval of 2 s",
         [&] {
             Bytes b = defaultImage();
             putU32(b, 1361, 2);
             return b;
         },
         [](const Configuration& c) { EXPECT_EQ(c.exportInterval, kMinExportInterval); }},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.what);
        const Configuration c = readExact(tc.image());
        expectUsable(c);
        tc.check(c);
    }
}

// Whatever a damaged default file holds, loading reads nothing past it, gives usable values,
// and what it writes back loads to the same thing again.
TEST(ConfigFile, EveryTruncationAndEverySingleBitFlipGivesUsableValues) {
    const Bytes full = defaultImage();
    auto check = [](const Bytes& image) {
        const Configuration c = readExact(image);
        expectUsable(c);
        const Bytes written = writeConfigImage(c);
        bool whole = false;
        const Configuration again = readExact(written, &whole);
        ASSERT_TRUE(whole);
        ASSERT_EQ(writeConfigImage(again), written);
    };
    for (size_t length = 0; length <= full.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        check(Bytes(full.begin(), full.begin() + static_cast<long>(length)));
        if (HasFatalFailure()) return;
    }
    for (size_t bit = 0; bit < full.size() * 8; ++bit) {
        SCOPED_TRACE("bit " + std::to_string(bit));
        Bytes flipped = full;
        flipped[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        check(flipped);
        if (HasFatalFailure()) return;
    }
}

TEST(ConfigFile, ScopeSamplesIsAlwaysAWindowOfTheRing) {
    struct Case {
        size_t rows;
        uint16_t index;
        int32_t samples;
        int expected;
    };
    const Case cases[] = {
        {7, 0, 12, 12}, {7, 6, 17280, 17280}, {7, 7, 12, 720},    {0, 0, 12, 720},
        {3, 2, 0, 720}, {7, 3, -5, 720},      {7, 5, 17281, 720}, {9, 8, 100, 100},
    };
    for (const Case& tc : cases) {
        Configuration c = Configuration::defaults();
        c.scopes.resize(tc.rows, ScopeEntry{1.0, 100, {}});
        if (tc.index < c.scopes.size()) c.scopes[tc.index].samples = tc.samples;
        c.scopeIndex = tc.index;
        EXPECT_EQ(c.scopeSamples(), tc.expected) << tc.rows << " rows, index " << tc.index;
    }
}
