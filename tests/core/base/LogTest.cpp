#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/base/Log.h"
#include "support/FileText.h"
#include "support/TempWorkDir.h"

TEST(Log, EachStartEmptiesTheFileAndWritesTheLineWithOneLineFeed) {
    TempWorkDir dir;
    writeFileText("Log.txt", "left over from an earlier run\r\nmore\n");
    for (int start = 0; start < 2; ++start) {
        Log log;
        log.writeLog("Loading Config!");
        EXPECT_EQ(fileText("Log.txt"), "Loading Config!\n") << "start " << start;
    }
    Log log;
    log.writeLog("a");
    log.writeLog("b");
    EXPECT_EQ(fileText("Log.txt"), "a\nb\n");
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
        writeFileText(target, "user data\n");
        tc.plant(target);
        Log log;
        log.writeLog("Loading Config!");  // must return, not block on the FIFO
        log.writeLog("Loading Config!");
        EXPECT_EQ(fileText(target), "user data\n");
    }
}
