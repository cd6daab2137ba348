// The real program under a virtual X server with the meter simulator as Com1: the user
// answers the start-up boxes, lets it record, closes it, and finds its files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "XDisplayDriver.h"
#include "core/base/DirectoryLock.h"
#include "core/config/DastConfig.h"
#include "core/store/DataFile.h"
#include "support/BrokerProcess.h"
#include "support/ChildProcess.h"
#include "support/FileText.h"
#include "support/ForkedChild.h"

namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

// A program of the test run, in `directory` with `environment` added, its output the test's.
std::unique_ptr<ChildProcess> launched(const std::vector<std::string>& argv,
                                       const std::string& directory,
                                       const std::map<std::string, std::string>& environment) {
    auto child = std::make_unique<ChildProcess>();
    child->start(argv, "", directory, environment);
    return child;
}

// The data file Kelvo left, read as Kelvo reads it: true when it is a whole image.
bool loadDataFile(const std::filesystem::path& path, DayTable& days, MonthTable& months,
                  SampleStore& store) {
    const std::string data = fileText(path);
    return data.size() == kDataFileSize &&
           DataFile::decode(reinterpret_cast<const uint8_t*>(data.data()), data.size(), days,
                            months, store) == DataFile::Load::Loaded;
}

// Starts Xvfb on a free display; "" when it does not come up.
std::string startXvfb(std::unique_ptr<ChildProcess>& server) {
    int fds[2];
    if (pipe(fds) != 0) return "";
    server = launched(
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

// Rows of the archive's power table (with a non-zero total, or all); -1 when it cannot be
// read.
int archivedRows(const std::filesystem::path& file, bool nonZeroOnly = true) {
    sqlite3* db = nullptr;
    int rows = -1;
    const char* query =
        nonZeroOnly ? "SELECT count(*) FROM power WHERE total <> 0" : "SELECT count(*) FROM power";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* count = nullptr;
        if (sqlite3_prepare_v2(db, query, -1, &count, nullptr) == SQLITE_OK &&
            sqlite3_step(count) == SQLITE_ROW)
            rows = sqlite3_column_int(count, 0);
        sqlite3_finalize(count);
    }
    sqlite3_close(db);
    return rows;
}

// Waits up to `limit` for `done`.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Steady::now() + limit;
    while (!done()) {
        if (Steady::now() > end) return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

// Kelvo started in a fresh directory on a virtual X server, with the simulator as Com1 and
// publishing to a broker of the test's own, past its start-up boxes to the main window.
struct RunningKelvo {
    std::filesystem::path dir;
    std::unique_ptr<ChildProcess> xvfb;
    std::unique_ptr<ChildProcess> sim;
    BrokerProcess broker;
    std::unique_ptr<TopicRecorder> topics;
    std::unique_ptr<ChildProcess> kelvo;
    XDisplayDriver x;
    unsigned long mainWindow = 0;
    // The titles of the boxes answered before the main window showed, and whether each had
    // a _NET_WM_NAME at all.
    std::vector<std::string> answered;
    std::vector<bool> named;

    ~RunningKelvo() {
        kelvo.reset();
        x.close();
        std::error_code ignored;
        if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
    }

    void start() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kelvo-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        const std::string display = startXvfb(xvfb);
        ASSERT_FALSE(display.empty()) << "Xvfb did not start";

        sim = launched(
            std::vector<std::string>{KELVO_SIM, "--dir", dir.string(), "--port", "1"}, "",
            std::map<std::string, std::string>{});
        for (int i = 0; i < 100 && !std::filesystem::is_symlink(dir / "Com1"); ++i)
            std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(std::filesystem::is_symlink(dir / "Com1")) << "the simulator made no Com1";

        // Publishing on; the archive is on by default.
        ASSERT_TRUE(broker.start());
        topics = std::make_unique<TopicRecorder>(broker.port());
        std::ofstream(dir / "kelvo.ini")
            << "[mqtt]\nenabled=true\nhost=127.0.0.1\nport=" << broker.port() << "\n";

        // Qt's own options on the command line have no effect (-qwindowtitle would rename
        // the main window); the platform still comes from the environment.
        kelvo = launched(
            std::vector<std::string>{KELVO_BINARY, "-reverse", "-qwindowtitle", "Mirrored"},
            dir.string(),
            std::map<std::string, std::string>{{"DISPLAY", display}, {"QT_QPA_PLATFORM", "xcb"}});
        ASSERT_TRUE(x.open(display));

        // Answer every box with Return (its default button) until the main window shows.
        std::map<unsigned long, Steady::time_point> lastPress;
        const auto end = Steady::now() + 40s;
        while (!mainWindow && Steady::now() < end && kelvo->running()) {
            for (const auto& window : x.viewableTopLevels()) {
                if (startsWith(window.title, "Kelvo")) {
                    mainWindow = window.id;
                    break;
                }
                auto it = lastPress.find(window.id);
                // Give a new box a moment to take the keyboard; press again if it stays.
                if (it == lastPress.end()) {
                    lastPress[window.id] = Steady::now() - 700ms;
                    answered.push_back(window.title);
                    named.push_back(x.netWmName(window.id).has_value());
                } else if (Steady::now() - it->second > 1s) {
                    x.pressReturn(window.id);
                    it->second = Steady::now();
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        ASSERT_NE(mainWindow, 0u) << "the main window never showed";
    }

    std::string mainTitle() {
        for (const auto& window : x.viewableTopLevels())
            if (window.id == mainWindow) return window.title;
        return "<gone>";
    }
};

}  // namespace

enum class EndBy { CloseBox, TerminationSignal };

// Starts Kelvo on the simulator, answers the start-up boxes, lets it record for `recording`,
// ends it as `how` says and checks the files it leaves.
void recordAndEnd(EndBy how, std::chrono::seconds recording) {
    RunningKelvo run;
    ASSERT_NO_FATAL_FAILURE(run.start());
    const std::filesystem::path& dir = run.dir;
    ChildProcess& kelvo = *run.kelvo;
    XDisplayDriver& x = run.x;
    TopicRecorder& topics = *run.topics;
    const unsigned long mainWindow = run.mainWindow;
    // A fresh directory has no dast.cfg: the "vorn" box comes first, then the login, whose
    // caption is empty, also as the name the desktop shows.
    ASSERT_EQ(run.answered.size(), 2u);
    EXPECT_EQ(run.answered[0], "vorn");
    EXPECT_EQ(run.answered[1], "");
    EXPECT_TRUE(run.named[1]);

    // A few 5-second ticks with the device connected (the first poll follows the probe).
    std::this_thread::sleep_for(recording);
    ASSERT_TRUE(kelvo.running()) << "Kelvo ended by itself";
    EXPECT_EQ(run.mainTitle(), "Kelvo - [Real Time]");
    EXPECT_EQ(topics.waitFor("kelvo/status", "online"), "online");
    EXPECT_NE(topics.waitFor("kelvo/power/total"), "<none>");
    // The working directory is Kelvo's for the whole run: a recorder started on it is refused.
    DirectoryLock recorderLock;
    EXPECT_EQ(recorderLock.acquire(dir.string()), DirectoryLock::Outcome::Held);
    EXPECT_EQ(recorderLock.holder().program, "kelvo");

    if (how == EndBy::CloseBox) {
        x.requestClose(mainWindow);
    } else {
        // The session ends: the program is told to stop and, a moment later, the X server goes
        // away too, which ends the process wherever its orderly close has got to. Nothing
        // recorded may be lost all the same.
        kelvo.signal(SIGTERM);
        std::this_thread::sleep_for(500ms);
        x.close();
        run.xvfb->stop();
    }
    const int status = kelvo.waitExit(30s);
    ASSERT_NE(status, -1) << "Kelvo did not end";
    if (how == EndBy::CloseBox) {
        EXPECT_EQ(status, 0);
    }

    EXPECT_EQ(fileText(dir / "Log.txt"), "Loading Config!\n");

    const std::string config = fileText(dir / "dast.cfg");
    DastConfig read = DastConfig::defaults();
    EXPECT_TRUE(
        readConfigImage(reinterpret_cast<const uint8_t*>(config.data()), config.size(), read));

    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    ASSERT_TRUE(loadDataFile(dir / "dast.data", days, months, *store));
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

// The desktop program started on a working directory the headless recorder holds: one box,
// then it ends with the recorder's code for the same case, having written nothing there.
TEST(KelvoRun, WorkingDirectoryHeldByTheRecorderIsRefusedUntouched) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path dir = pattern;
    {
        ForkedChild recorder(
            [&] {
                static DirectoryLock lock;
                return lock.acquire(dir.string()) == DirectoryLock::Outcome::Acquired ? "y" : "n";
            },
            ForkedChild::Then::Stay, kRecorderProgram);
        ASSERT_EQ(recorder.reply(), "y");
        std::unique_ptr<ChildProcess> xvfb;
        const std::string display = startXvfb(xvfb);
        ASSERT_FALSE(display.empty()) << "Xvfb did not start";
        ChildProcess kelvo;
        kelvo.start({KELVO_BINARY}, "", dir.string(),
                    {{"DISPLAY", display}, {"QT_QPA_PLATFORM", "xcb"}});
        XDisplayDriver x;
        ASSERT_TRUE(x.open(display));
        std::vector<std::string> seen;
        const auto end = Steady::now() + 30s;
        while (kelvo.running() && Steady::now() < end) {
            for (const auto& window : x.viewableTopLevels()) {
                seen.push_back(window.title);
                std::this_thread::sleep_for(700ms);  // the box takes the keyboard first
                x.pressReturn(window.id);
            }
            std::this_thread::sleep_for(100ms);
        }
        const int status = kelvo.waitExit(5s);
        EXPECT_EQ(status, 3);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front(), "vorn");
        x.close();
    }
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, std::vector<std::string>{"kelvo.lock"});
    std::filesystem::remove_all(dir);
}

namespace {

// Where the main window shows its controls, in pixels from its top-left corner: the
// toolbar's buttons as the program lays them out, and the close box of a maximized child
// window at the right end of the menu bar.
constexpr int kToolbarY = 34;
constexpr int kRealTimeButtonX = 92;
constexpr int kDisconnectButtonX = 193;
constexpr int kCloseBoxFromRight = 11;
constexpr int kCloseBoxY = 9;

// How far right the menu bar's titles reach: the x after the last dark pixel of the menu
// bar's left half.
int menuBarTextEnd(XDisplayDriver& x, unsigned long window) {
    XDisplayDriver::Size size;
    const std::vector<uint32_t> pixels = x.capture(window, size);
    int end = 0;
    for (int y = 2; y < 18 && y < size.height; ++y) {
        for (int xp = 20; xp < size.width / 2; ++xp) {
            const uint32_t p = pixels[static_cast<size_t>(y) * size.width + xp];
            if (((p >> 16) & 0xFF) < 0x60 && ((p >> 8) & 0xFF) < 0x60 && (p & 0xFF) < 0x60)
                end = std::max(end, xp + 1);
        }
    }
    return end;
}

}  // namespace

// The real-time window closed by the user and opened again, with real clicks and keys:
// closing it saves the data file and stops recording; with every child window gone the first
// menu (three titles) shows; the toolbar opens it again, which connects and records again.
TEST(KelvoRun, RealTimeWindowClosesByCloseBoxAndCtrlF4AndReopensFromTheToolbar) {
    RunningKelvo run;
    ASSERT_NO_FATAL_FAILURE(run.start());
    XDisplayDriver& x = run.x;
    const unsigned long main = run.mainWindow;
    const std::filesystem::path archive = run.dir / "kelvo-archive.sqlite";
    ASSERT_TRUE(waitUntil([&] { return archivedRows(archive) >= 1; }, 30s))
        << "no sample from the meter";
    const int fourMenus = menuBarTextEnd(x, main);
    EXPECT_EQ(run.topics->waitFor("kelvo/link", "connected"), "connected");
    x.click(main, kDisconnectButtonX, kToolbarY);
    EXPECT_EQ(run.topics->waitFor("kelvo/link", "disconnected"), "disconnected");
    std::this_thread::sleep_for(1s);  // the first tick after Disconnect is short, too

    // The close box of the maximized real-time window: the data file is written.
    EXPECT_FALSE(std::filesystem::exists(run.dir / "dast.data"));
    x.click(main, static_cast<int>(x.sizeOf(main).width) - kCloseBoxFromRight, kCloseBoxY);
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(run.dir / "dast.data"); }, 5s))
        << run.mainTitle();
    EXPECT_TRUE(startsWith(run.mainTitle(), "Kelvo - [History by"));

    // Ctrl+F4 closes the two history windows: no child window is left, the first menu shows.
    x.focus(main);
    for (int open = 2; open > 0; --open) {
        const std::string before = run.mainTitle();
        x.pressKey(main, "F4", XDisplayDriver::kControl);
        EXPECT_TRUE(waitUntil([&] { return run.mainTitle() != before; }, 5s)) << before;
    }
    EXPECT_EQ(run.mainTitle(), "Kelvo");
    EXPECT_TRUE(waitUntil([&] { return menuBarTextEnd(x, main) < fourMenus - 30; }, 5s))
        << fourMenus;
    const int threeMenus = menuBarTextEnd(x, main);

    // Closed, nothing is recorded: not in the archive, not on the broker.
    const int rowsWhileClosed = archivedRows(archive, false);
    run.topics->forget();
    std::this_thread::sleep_for(11s);
    EXPECT_EQ(archivedRows(archive, false), rowsWhileClosed);
    EXPECT_EQ(run.topics->last("kelvo/power/total"), "<none>");

    // The toolbar opens it again (the second menu returns): it connects and the meter's
    // samples flow again.
    const int rowsBefore = archivedRows(archive);
    x.click(main, kRealTimeButtonX, kToolbarY);
    EXPECT_TRUE(waitUntil([&] { return menuBarTextEnd(x, main) > threeMenus + 30; }, 5s));
    EXPECT_TRUE(waitUntil([&] { return archivedRows(archive) > rowsBefore; }, 20s));
    EXPECT_NE(run.topics->waitFor("kelvo/power/total"), "<none>");

    // At exit the file holds the whole run: the closed spell filled with zero samples.
    const auto started = std::filesystem::last_write_time(run.dir / "Log.txt");
    x.requestClose(main);
    ASSERT_NE(run.kelvo->waitExit(30s), -1) << "Kelvo did not end";
    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    ASSERT_TRUE(loadDataFile(run.dir / "dast.data", days, months, *store));
    const auto ran = std::chrono::duration_cast<std::chrono::seconds>(
        std::filesystem::file_time_type::clock::now() - started);
    EXPECT_GE(store->count, ran.count() / 5 - 2) << ran.count() << " s";
}
