#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "core/base/Clock.h"
#include "core/config/DastConfig.h"
#include "support/TempWorkDir.h"

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

Bytes slice(const Bytes& b, size_t from, size_t to) {
    return Bytes(b.begin() + from, b.begin() + to);
}

uint32_t u32At(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void putU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr size_t record(int i) { return 2 + 76 * static_cast<size_t>(i); }
constexpr size_t scopeRow(int i) { return 1222 + 16 * static_cast<size_t>(i); }

// What every reader of the working copy relies on, whatever file it came from.
void expectUsable(const DastConfig& c) {
    for (const ChannelRecord& r : c.channels) {
        ASSERT_NE(std::memchr(r.name, 0, sizeof r.name), nullptr);
        ASSERT_EQ(r.power + r.state, 0u);
    }
    ASSERT_NE(std::memchr(c.password, 0, sizeof c.password), nullptr);
    ASSERT_GE(c.scopes.size(), size_t{kScopeEntries});
    ASSERT_LT(c.scopeIndex, c.scopes.size());
    ASSERT_EQ(c.scope().samples, c.scopes[c.scopeIndex].samples);
    for (const ScopeEntry& e : c.scopes) ASSERT_TRUE(e.samples >= 1 && e.samples <= 17280);
}

// Reads an image from a buffer of exactly its size, so a sanitizer sees any read past it.
DastConfig readExact(const Bytes& image, bool* whole = nullptr) {
    DastConfig c = DastConfig::defaults();
    auto buffer = std::make_unique<uint8_t[]>(image.size());
    std::copy(image.begin(), image.end(), buffer.get());
    const bool ok = readConfigImage(buffer.get(), image.size(), c);
    if (whole) *whole = ok;
    return c;
}

}  // namespace

TEST(ConfigFile, FirstStartWritesTheDefaultFileByteForByte) {
    TempWorkDir dir;
    SetClock clock;
    DastConfig config;
    EXPECT_FALSE(loadConfig(config, clock));
    EXPECT_EQ(config.appDir, dir.path());
    clock.seconds = 0x6553F100;
    ASSERT_TRUE(saveConfig(config, clock));

    const Bytes b = readFile(dir.file("dast.cfg"));
    ASSERT_EQ(b.size(), 1365u);
    EXPECT_EQ(slice(b, 0, 2), (Bytes{0x10, 0x00}));
    EXPECT_EQ(slice(b, record(0), record(14)), Bytes(14 * 76, 0));
    Bytes consumption(76, 0), solar(76, 0);
    std::memcpy(consumption.data(), "Consumption", 11);
    consumption[64] = 14;
    std::memcpy(solar.data(), "Solar", 5);
    solar[64] = 15;
    EXPECT_EQ(slice(b, record(14), record(15)), consumption);
    EXPECT_EQ(slice(b, record(15), 1218), solar);
    EXPECT_EQ(slice(b, 1218, 1222), (Bytes{0x04, 0x00, 0x07, 0x00}));
    const Bytes rows[7] = {
        {0x57, 0x79, 0x65, 0x8B, 0x62, 0xC1, 0x46, 0x3F, 12, 0, 0, 0, 0, 0, 0, 0},
        {0xC4, 0x48, 0x06, 0xEB, 0xC5, 0x71, 0x6C, 0x3F, 60, 0, 0, 0, 0, 0, 0, 0},
        {0xB6, 0xA4, 0xDD, 0xC7, 0x55, 0x55, 0x85, 0x3F, 180, 0, 0, 0, 0, 0, 0, 0},
        {0xA5, 0x2D, 0x11, 0x1C, 0x55, 0x55, 0x95, 0x3F, 0x68, 0x01, 0, 0, 0, 0, 0, 0},
        {0x2E, 0x69, 0xF7, 0x71, 0x55, 0x55, 0xA5, 0x3F, 0xD0, 0x02, 0, 0, 0, 0, 0, 0},
        {0, 0, 0, 0, 0, 0, 0xC0, 0x3F, 0x70, 0x08, 0, 0, 0, 0, 0, 0},
        {0, 0, 0, 0, 0, 0, 0xD0, 0x3F, 0xE0, 0x10, 0, 0, 0, 0, 0, 0},
    };
    for (int i = 0; i < 7; ++i) EXPECT_EQ(slice(b, scopeRow(i), scopeRow(i + 1)), rows[i]) << i;
    EXPECT_EQ(slice(b, 1334, 1355), Bytes(21, 0));  // password, reserved, firstLoadTime
    EXPECT_EQ(slice(b, 1355, 1365), (Bytes{0x00, 0xF1, 0x53, 0x65, 0, 0, 0x3C, 0, 0, 0}));
}

TEST(ConfigFile, FirstLoadTimeIsSetByTheSecondStartAndKeptAfterwards) {
    TempWorkDir dir;
    SetClock clock;
    DastConfig config;
    const int64_t starts[][3] = {{1000, 1500, 0}, {2000, 2500, 2000}, {3000, 3500, 2000}};
    for (const auto& [loadAt, saveAt, firstLoad] : starts) {
        clock.seconds = loadAt;
        loadConfig(config, clock);
        clock.seconds = saveAt;
        saveConfig(config, clock);
        const Bytes b = readFile("dast.cfg");
        EXPECT_EQ(u32At(b, 1351), firstLoad) << "start at " << loadAt;
        EXPECT_EQ(u32At(b, 1355), saveAt);
    }
}

// Everything the program does not interpret (spare and reserved bytes, extraData, a scope
// row and records past the ones it uses) survives a load and a save; power and state do not.
TEST(ConfigFile, EverythingButRunTimeFieldsSurvivesLoadAndSave) {
    TempWorkDir dir;
    SetClock clock;
    DastConfig user = DastConfig::defaults();
    for (int i = 0; i < 16; ++i) {
        std::snprintf(user.channels[i].name, 64, "Kanal %d", i);
        user.channels[i].spare1[1] = static_cast<uint8_t>(0xA0 + i);
        user.channels[i].spare2[2] = static_cast<uint8_t>(0xB0 + i);
    }
    user.surplusChannels.resize(2);
    std::strcpy(user.surplusChannels[1].name, "Carport");
    user.scopes.push_back(ScopeEntry{2.0, 1234, {1, 2, 3, 4}});
    user.scopes[0].spare[3] = 0x5A;
    user.scopeIndex = 7;
    std::strcpy(user.password, "geheim");
    user.reserved1 = 0xC3;
    user.reserved2 = 0x3C;
    user.firstLoadTime = 111;
    user.extraData = {9, 8, 7, 6, 5};
    Bytes expected = writeConfigImage(user);
    ASSERT_EQ(expected.size(), 1365u + 2 * 76 + 16 + 5);

    Bytes file = expected;
    for (int i = 0; i < 16; ++i) {
        putU32(file, record(i) + 68, 1000u + i);  // power
        file[record(i) + 72] = '1';               // state
    }
    std::ofstream("dast.cfg", std::ios::binary)
        .write(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(file.size()));
    DastConfig config;
    ASSERT_TRUE(loadConfig(config, clock));
    clock.seconds = 0x01020304;
    ASSERT_TRUE(saveConfig(config, clock));
    putU32(expected, expected.size() - 4 - 5 - 2 - 4, 0x01020304);  // lastSaveTime
    EXPECT_EQ(readFile("dast.cfg"), expected);
}

TEST(ConfigFile, UnreadableFileGivesDefaultsAndUnwritableDirectoryReportsFailure) {
    TempWorkDir dir;
    SetClock clock;
    DastConfig config;
    std::filesystem::create_directory("dast.cfg");  // opens, but holds no file
    EXPECT_FALSE(loadConfig(config, clock));
    EXPECT_EQ(writeConfigImage(config), writeConfigImage(DastConfig::defaults()));
    config.appDir = dir.file("missing");
    EXPECT_FALSE(saveConfig(config, clock));
}

// Files that break the rules the program relies on keep what is complete, in its place; each
// repaired value is tried at its limit and one past it.
TEST(ConfigFile, RuleBreakingFilesAreSalvaged) {
    DastConfig named = DastConfig::defaults();
    for (int i = 1; i <= 12; ++i) std::snprintf(named.channels[i].name, 64, "Load %d", i);
    named.exportInterval = 300;
    const Bytes good = writeConfigImage(named);
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        std::function<void(const DastConfig&)> check;
    };
    auto put = [](size_t at, uint32_t value) { return [=](Bytes& b) { putU32(b, at, value); }; };
    auto chartSamples = [](int32_t expected) {  // row 4 is the selected one
        return [=](const DastConfig& c) {
            EXPECT_EQ(c.scopes[4].samples, expected);
            EXPECT_EQ(c.scope().samples, expected);
        };
    };
    auto interval = [](uint32_t expected) {
        return [=](const DastConfig& c) { EXPECT_EQ(c.exportInterval, expected); };
    };
    const Case cases[] = {
        {"three channel records",
         [](Bytes& b) {
             b.erase(b.begin() + record(3), b.begin() + record(16));
             b[0] = 3;
         },
         [](const DastConfig& c) {
             EXPECT_STREQ(c.channels[2].name, "Load 2");
             EXPECT_STREQ(c.channels[3].name, "");
             EXPECT_STREQ(c.channels[14].name, "Consumption");
             EXPECT_EQ(c.exportInterval, 300u);  // later fields read from their true place
         }},
        {"file ends inside record 5", [](Bytes& b) { b.resize(record(5) + 40); },
         [](const DastConfig& c) {
             EXPECT_STREQ(c.channels[4].name, "Load 4");
             EXPECT_STREQ(c.channels[5].name, "");
             EXPECT_EQ(c.exportInterval, kDefaultExportInterval);
         }},
        {"name and password with a NUL only at their last byte",
         [](Bytes& b) {
             std::memset(&b[record(3)], 'x', 63);
             b[record(3) + 63] = 0;
             std::memset(&b[1334], 'p', 15);
             b[1349] = 0;
         },
         [](const DastConfig& c) {
             EXPECT_EQ(std::string(c.channels[3].name), std::string(63, 'x'));
             EXPECT_EQ(std::string(c.password), std::string(15, 'p'));
         }},
        {"names and password without NUL",
         [](Bytes& b) {
             std::memset(&b[record(3)], 'x', 64);
             std::memset(&b[1334], 'p', 16);
         },
         [](const DastConfig& c) {
             EXPECT_EQ(std::string(c.channels[3].name), std::string(63, 'x'));
             EXPECT_EQ(std::string(c.password), std::string(15, 'p'));
         }},
        {"two scope rows, index 6",
         [](Bytes& b) {
             b.erase(b.begin() + scopeRow(2), b.begin() + scopeRow(7));
             b[1218] = 6;
             b[1220] = 2;
         },
         [](const DastConfig& c) {
             ASSERT_EQ(c.scopes.size(), 7u);
             EXPECT_EQ(c.scope().samples, 4320);
             EXPECT_EQ(c.exportInterval, 300u);
         }},
        {"scope index on the last row", [](Bytes& b) { b[1218] = 6; },
         [](const DastConfig& c) { EXPECT_EQ(c.scopeIndex, 6); }},
        {"scope index at the row count", [](Bytes& b) { b[1218] = 7; },
         [](const DastConfig& c) { EXPECT_EQ(c.scopeIndex, kDefaultScopeIndex); }},
        {"scope samples 0", put(scopeRow(4) + 8, 0), chartSamples(720)},
        {"scope samples 1", put(scopeRow(4) + 8, 1), chartSamples(1)},
        {"scope samples 17,280", put(scopeRow(4) + 8, 17280), chartSamples(17280)},
        {"scope samples 17,281", put(scopeRow(4) + 8, 17281), chartSamples(720)},
        {"scope samples negative in a row not selected", put(scopeRow(6) + 8, 0xFFFFFFFF),
         [](const DastConfig& c) { EXPECT_EQ(c.scopes[6].samples, 4320); }},
        // The export copes with any interval: the user's value is kept until the user changes it.
        {"interval of 3 s", put(1361, 3), interval(3)},
        {"interval of 4 s", put(1361, 4), interval(4)},
        {"interval of 5 s", put(1361, 5), interval(5)},
        {"interval past 24 hours", put(1361, 90000), interval(90000)},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.what);
        Bytes image = good;
        tc.damage(image);
        const DastConfig c = readExact(image);
        expectUsable(c);
        tc.check(c);
    }
    DastConfig emptied = DastConfig::defaults();  // a working copy changed at run time
    emptied.scopes.clear();
    EXPECT_EQ(emptied.scope().samples, 720);
}

// Whatever a damaged default file holds, nothing is read past it, the values are usable,
// and what is written back loads whole to the same values.
TEST(ConfigFile, EveryTruncationAndEverySingleBitFlipGivesUsableValues) {
    const Bytes full = writeConfigImage(DastConfig::defaults());
    auto check = [](const Bytes& image) {
        const DastConfig c = readExact(image);
        expectUsable(c);
        const Bytes written = writeConfigImage(c);
        bool whole = false;
        ASSERT_EQ(writeConfigImage(readExact(written, &whole)), written);
        ASSERT_TRUE(whole);
    };
    for (size_t length = 0; length <= full.size() && !HasFatalFailure(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        check(slice(full, 0, length));
    }
    for (size_t bit = 0; bit < full.size() * 8 && !HasFatalFailure(); ++bit) {
        SCOPED_TRACE("bit " + std::to_string(bit));
        Bytes flipped = full;
        flipped[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        check(flipped);
    }
}
