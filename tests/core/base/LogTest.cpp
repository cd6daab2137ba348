#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/TempWorkDir.h"
#include "core/base/Log.h"

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

TEST(Log, EachStartEmptiesTheFileAndWritesTheLineWithOneLineFeed) {
    TempWorkDir dir;
    put("Log.txt", "left over from an earlier run\r\nmore\n");
    for (int start = 0; start < 2; ++start) {
        Log log;
        log.writeLog("Loading Config!");
        EXPECT_EQ(contents("Log.txt"), "Loading Config!\n") << "start " << start;
    }
    Log log;
    log.writeLog("a");
    log.writeLog("b");
    EXPECT_EQ(contents("Log.txt"), "a\nb\n");
}

// Whatever is planted in the log's place, nothing else is written or emptied through it, and
// the program carries on without a word.
TEST(Log, NeverWritesThroughWhatIsPlantedInItsPlace) {
    struct Case {
        const char* what;
        void (*plant)(const std::string& target);
    };
    const Case cases[] = {
        {"symbolic link to a file",
         [](const std::string& target) { std::filesystem::create_symlink(target, "Log.txt"); }},
        {"hard link to a file",
         [](const std::string& target) { std::filesystem::create_hard_link(target, "Log.txt"); }},
        {"FIFO without a reader", [](const std::string&) { ::mkfifo("Log.txt", 0600); }},
        {"directory", [](const std::string&) { std::filesystem::create_directory("Log.txt"); }},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.what);
        TempWorkDir dir;
        const std::string target = dir.file("precious");
        put(target, "user data\n");
        tc.plant(target);
        Log log;
        log.writeLog("Loading Config!");  // must return, not block on the FIFO
        log.writeLog("Loading Config!");
        EXPECT_EQ(contents(target), "user data\n");
    }
}
