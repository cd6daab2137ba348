#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "SaveVersions.h"
#include "core/base/CrashSafeFile.h"
#include "core/base/FilePath.h"
#include "support/SoakScale.h"

namespace fs = std::filesystem;

namespace {

// At least 300 kills in the plain build; sanitizer builds run the same proof on fewer kills,
// as each save there takes many times longer.
constexpr int kKills = kSoakSanitized ? 100 : 300;

pid_t startSaveLoop(const std::string& dir, uint32_t firstVersion) {
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string first = std::to_string(firstVersion);
        ::execl(KELVO_SAVE_LOOP, KELVO_SAVE_LOOP, dir.c_str(), first.c_str(), nullptr);
        ::_exit(127);
    }
    return child;
}

struct Observed {
    bool present = false;
    uint32_t version = 0;
};

// The version a file holds, after checking it is that version's complete image byte for byte.
Observed readConfigVersion(const std::string& dir) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(pathInDirectory(dir, "dast.cfg"), bytes, 1 << 20)) return {};
    DastConfig c = DastConfig::defaults();
    EXPECT_TRUE(readConfigImage(bytes.data(), bytes.size(), c));
    const uint32_t k = c.exportInterval - 5;
    EXPECT_EQ(bytes, save_versions::configImage(k, dir, k)) << "torn dast.cfg";
    return {true, k};
}

Observed readDataVersion(const std::string& dir) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(pathInDirectory(dir, "dast.data"), bytes, kDataFileSize)) return {};
    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    EXPECT_EQ(DataFile::decode(bytes.data(), bytes.size(), days, months, *store),
              DataFile::Load::Loaded);
    const auto k = static_cast<uint32_t>(days.solar[0]);
    EXPECT_EQ(bytes, save_versions::dataImage(k)) << "torn dast.data";
    return {true, k};
}

}  // namespace

// A save loop is killed at random moments; after every kill both files must load and be
// exactly some complete version, never older than what was there before the run.
TEST(KillDuringSave, FilesAreAlwaysAWholeVersionAfterSigkill) {
    char pattern[] = "/tmp/kelvo-kill-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    // Kills land anywhere from the start of the process to about two whole saves in.
    const auto started = std::chrono::steady_clock::now();
    const pid_t first = startSaveLoop(dir, 1);
    ASSERT_GT(first, 0);
    for (int wait = 0; wait < 6000 && !fs::exists(pathInDirectory(dir, "dast.data")); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto firstSave = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
    std::mt19937 random(20261208);
    std::uniform_int_distribution<long> delayUs(0, std::max<long>(20000, 2 * firstSave.count()));

    uint32_t nextVersion = 1;
    Observed lastConfig, lastData;
    int killsMidRun = 0;
    long interruptedSaves = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t child = startSaveLoop(dir, nextVersion);
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the save loop ended by itself: " << status;
        killsMidRun += WTERMSIG(status) == SIGKILL;

        // A kill inside a save leaves its temporary file behind, never a torn target.
        long temporaries = 0;
        for (const auto& entry : fs::directory_iterator(dir)) {
            temporaries += entry.path().filename().string().find(".tmp") != std::string::npos;
        }
        interruptedSaves += temporaries > 0;

        const Observed config = readConfigVersion(dir);
        const Observed data = readDataVersion(dir);
        if (lastConfig.present) {
            ASSERT_TRUE(config.present);
            EXPECT_GE(config.version, lastConfig.version);
        }
        if (lastData.present) {
            ASSERT_TRUE(data.present);
            EXPECT_GE(data.version, lastData.version);
        }
        if (HasFailure()) break;
        if (config.present) lastConfig = config;
        if (data.present) lastData = data;
        nextVersion = std::max({nextVersion, config.version, data.version}) + 1;
    }
    EXPECT_EQ(killsMidRun, kKills);

    // A run long enough for complete saves clears what the kills left; only the save cut by
    // the last kill may leave its temporary files.
    const pid_t last = startSaveLoop(dir, 1000000);
    ASSERT_GT(last, 0);
    // Wait (bounded) until version 1000001 of dast.data is complete: every temporary left
    // before it has been cleared by then.
    for (int wait = 0; wait < 600 && readDataVersion(dir).version < 1000001; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(last, SIGKILL);
    ::waitpid(last, nullptr, 0);
    long leftovers = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        leftovers += entry.path().filename().string().find(".tmp") != std::string::npos;
    }
    EXPECT_LE(leftovers, 2);
    EXPECT_TRUE(lastConfig.present && lastData.present);
    EXPECT_GT(interruptedSaves, 0) << "no kill landed inside a save";
    std::printf("kills: %d, interrupted saves: %ld, versions written: %u, first save %lld us\n",
                killsMidRun, interruptedSaves, nextVersion - 1,
                static_cast<long long>(firstSave.count()));
    RecordProperty("kills", killsMidRun);
    RecordProperty("last_version", static_cast<int>(nextVersion));
    fs::remove_all(dir);
}
