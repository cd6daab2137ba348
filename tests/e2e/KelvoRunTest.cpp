// The real program under a virtual X server with the meter simulator as Com1: the user
// answers the start-up boxes, lets it record, closes it, and finds its files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "XDisplayDriver.h"
#include "core/config/Configuration.h"
#include "core/store/DataFile.h"
#include "support/BrokerProcess.h"

namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

// A child process, ended (TERM, then KILL) when it goes out of scope.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& directory,
          const std::map<std::string, std::string>& environment) {
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
            for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~Child() { stop(); }

    // The exit status once the process ended within `limit`, or -1.
    int waitFor(std::chrono::milliseconds limit) {
        const auto end = Steady::now() + limit;
        while (m_pid > 0 && Steady::now() < end) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                m_status = status;
                return status;
            }
            std::this_thread::sleep_for(50ms);
        }
        return m_pid > 0 ? -1 : m_status;
    }
    bool running() { return m_pid > 0 && waitFor(0ms) == -1; }
    void signal(int number) {
        if (m_pid > 0) kill(m_pid, number);
    }
    void stop() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        if (waitFor(5s) == -1 && m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitFor(5s);
        }
    }

private:
    pid_t m_pid = -1;
    int m_status = 0;
};

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Starts Xvfb on a free display; "" when it does not come up.
std::string startXvfb(std::unique_ptr<Child>& server) {
    int fds[2];
    if (pipe(fds) != 0) return "";
    server = std::make_unique<Child>(
        std::vector<std::string>{KELVO_XVFB, "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                 "1280x1024x24", "-nolisten", "tcp"},
        "", std::map<std::string, std::string>{});
    close(fds[1]);
    std::string number;
    const auto end = Steady::now() + 15s;
    while (Steady::now() < end) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char c;
        if (read(fds[0], &c, 1) != 1) break;
        if (c == '\n') break;
        number += c;
    }
    close(fds[0]);
    return number.empty() ? "" : ":" + number;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Rows of the archive's power table with a non-zero total; -1 when it cannot be read.
int archivedRows(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* count = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM power WHERE total <> 0", -1, &count,
                               nullptr) == SQLITE_OK &&
            sqlite3_step(count) == SQLITE_ROW)
            rows = sqlite3_column_int(count, 0);
        sqlite3_finalize(count);
    }
    sqlite3_close(db);
    return rows;
}

}  // namespace

enum class EndBy { CloseBox, TerminationSignal };

// Starts Kelvo on the simulator, answers the start-up boxes, lets it record for `recording`,
// ends it as `how` says and checks the files it leaves.
void recordAndEnd(EndBy how, std::chrono::seconds recording) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path dir = pattern;
    struct Cleanup {
        std::filesystem::path dir;
        ~Cleanup() {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    } cleanup{dir};

    std::unique_ptr<Child> xvfb;
    const std::string display = startXvfb(xvfb);
    ASSERT_FALSE(display.empty()) << "Xvfb did not start";

    Child sim({KELVO_SIM, "--dir", dir.string(), "--port", "1"}, "", {});
    for (int i = 0; i < 100 && !std::filesystem::is_symlink(dir / "Com1"); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(std::filesystem::is_symlink(dir / "Com1")) << "the simulator made no Com1";

    // Publishing on, to a broker of the test's own; the archive is on by default.
    BrokerProcess broker;
    ASSERT_TRUE(broker.start());
    TopicRecorder topics(broker.port());
    std::ofstream(dir / "kelvo.ini")
        << "[mqtt]\nenabled=true\nhost=127.0.0.1\nport=" << broker.port() << "\n";

    // Qt's own options on the command line have no effect (-qwindowtitle would rename the
    // main window); the platform still comes from the environment.
    Child kelvo({KELVO_BINARY, "-reverse", "-qwindowtitle", "Mirrored"}, dir.string(),
                {{"DISPLAY", display}, {"QT_QPA_PLATFORM", "xcb"}});

    XDisplayDriver x;
    ASSERT_TRUE(x.open(display));

    // Answer every box with Return (its default button) until the main window shows. A
    // fresh directory has no dast.cfg: the "vorn" box comes first, then the login.
    std::vector<std::string> answered;
    std::map<unsigned long, Steady::time_point> lastPress;
    unsigned long mainWindow = 0;
    std::string mainTitle;
    const auto end = Steady::now() + 40s;
    while (!mainWindow && Steady::now() < end && kelvo.running()) {
        for (const auto& window : x.viewableTopLevels()) {
            if (startsWith(window.title, "Kelvo")) {
                mainWindow = window.id;
                mainTitle = window.title;
                break;
            }
            auto it = lastPress.find(window.id);
            // Give a new box a moment to take the keyboard; press again if it stays.
            if (it == lastPress.end()) {
                lastPress[window.id] = Steady::now() - 700ms;
                answered.push_back(window.title);
            } else if (Steady::now() - it->second > 1s) {
                x.pressReturn(window.id);
                it->second = Steady::now();
            }
        }
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_NE(mainWindow, 0u) << "the main window never showed";
    // The box, then the login, which has no caption of its own (the platform shows the
    // program's name in its place).
    ASSERT_EQ(answered.size(), 2u);
    EXPECT_EQ(answered[0], "vorn");
    EXPECT_NE(answered[1], "vorn");

    // A few 5-second ticks with the device connected (the first poll follows the probe).
    std::this_thread::sleep_for(recording);
    ASSERT_TRUE(kelvo.running()) << "Kelvo ended by itself";
    for (const auto& window : x.viewableTopLevels())
        if (window.id == mainWindow) mainTitle = window.title;
    EXPECT_EQ(mainTitle, "Kelvo - [Real Time]");
    EXPECT_EQ(topics.waitFor("kelvo/status", "online"), "online");
    EXPECT_NE(topics.waitFor("kelvo/power/total"), "<none>");

    if (how == EndBy::CloseBox) {
        x.requestClose(mainWindow);
    } else {
        // The session ends: the program is told to stop and, a moment later, the X server goes
        // away too, which ends the process wherever its orderly close has got to. Nothing
        // recorded may be lost all the same.
        kelvo.signal(SIGTERM);
        std::this_thread::sleep_for(500ms);
        x.close();
        xvfb->stop();
    }
    const int status = kelvo.waitFor(30s);
    ASSERT_NE(status, -1) << "Kelvo did not end";
    if (how == EndBy::CloseBox) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }

    EXPECT_EQ(readAll(dir / "Log.txt"), "Loading Config!\n");

    const std::string config = readAll(dir / "dast.cfg");
    Configuration read = Configuration::defaults();
    EXPECT_TRUE(
        readConfigImage(reinterpret_cast<const uint8_t*>(config.data()), config.size(), read));

    const std::string data = readAll(dir / "dast.data");
    ASSERT_EQ(data.size(), kDataFileSize);
    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    ASSERT_EQ(DataFile::decode(reinterpret_cast<const uint8_t*>(data.data()), data.size(), days,
                               months, *store),
              DataFile::Load::Loaded);
    EXPECT_GE(store->count, recording.count() / 5 - 1);
    // The device was polled: its live powers and its energy history reached the file.
    bool livePower = false;
    for (int j = 0; j < store->count; ++j)
        livePower |= store->samples[0][(store->startIndex + j) % kRingSlots] != 0;
    EXPECT_TRUE(livePower) << "only zero samples: the simulator was never polled";
    bool history = false;
    for (int i = 0; i < kDays; ++i) history |= days.consumption[i] != 0 || days.solar[i] != 0;
    EXPECT_TRUE(history);

    // The samples read from the meter reached the archive, and the broker heard it leave.
    EXPECT_GE(archivedRows(dir / "kelvo-archive.sqlite"), 1);
    EXPECT_EQ(topics.waitFor("kelvo/status", "offline"), "offline");
}

TEST(KelvoRun, RecordsFromTheSimulatorAndLeavesItsFilesAfterTheUserClosesIt) {
    recordAndEnd(EndBy::CloseBox, 20s);
}

TEST(KelvoRun, TerminationSignalSavesLikeTheCloseBox) {
    recordAndEnd(EndBy::TerminationSignal, 16s);
}
