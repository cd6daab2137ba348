// The archive under a home's faults, on real SQLite files: slots shared by two samples, a box
// nobody closes, an exit with samples still queued, a deleted file, another user's file,
// settings changed while the writer works, wall-clock steps, a queue that overflowed, and a
// disk slow to sync.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "core/acquisition/RecorderState.h"
#include "core/acquisition/Recording.h"
#include "core/archive/ArchiveReader.h"
#include "core/base/Clock.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "support/ArchiveFixture.h"
#include "support/ForkedChild.h"
#include "support/SimProcess.h"
#include "support/SyncGateVfs.h"

using namespace std::chrono_literals;

namespace {

// A message box that stays open until the test closes it.
class OpenBoxSink final : public MessageSink {
public:
    void show(const std::string& text) override {
        std::unique_lock lock(m_lock);
        shown.push_back(text);
        m_changed.notify_all();
        m_changed.wait_for(lock, 20s, [this] { return m_closed; });
    }
    bool waitShown(size_t n) {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, 5s, [&] { return shown.size() >= n; });
    }
    void close() {
        std::lock_guard lock(m_lock);
        m_closed = true;
        m_changed.notify_all();
    }
    std::vector<std::string> shown;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_closed = false;
};

// Waits up to 10 s for `sql` on the file to give `expected`; what it gave last.
std::string awaitQuery(const std::string& path, const std::string& sql,
                       const std::string& expected) {
    std::string got;
    for (int i = 0; i < 500 && (got = query(path, sql)) != expected; ++i)
        std::this_thread::sleep_for(20ms);
    return got;
}

std::string rowCount(int n) { return std::to_string(n) + "\n"; }

}  // namespace

TEST_F(ArchiveFixture, RowsSharingASlotAllReadBackWithTheirEnergy) {
    {
        auto w = writer();
        for (int64_t offset : {4, 10, 14}) w->onMeterSample(sample(kJuneFirst + offset, 1000));
        w->waitIdle();
    }
    ArchiveDay day;
    std::string error;
    ASSERT_TRUE(ArchiveReader(path).readDay(2026, 6, 1, day, error)) << error;
    EXPECT_EQ(day.rows, 3);
    int placed = 0;
    for (int32_t watts : day.power[0]) placed += watts != kNoSample;
    EXPECT_EQ(placed, 3);
    EXPECT_NEAR(dayEnergyKwh(day)[0], 3 * 1000 * 5 / 3.6e6, 1e-12);
}

// Over the real link on a pseudo-terminal: polls back to back, one of them waiting out a reply
// the meter leaves out, each keep a row of their own at the time of their store slot.
TEST_F(ArchiveFixture, PollsOverTheLinkKeepARowEachAtTheirStoreSlot) {
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--baud", "0", "--silent-after", "6", "--silent-for", "1"}));
    PosixSerialPorts ports(sim.dir(), {}, sim.dir() + "/no-devices");
    RecorderState state(ports, messages, SystemClock::instance());
    state.config.appDir = dir.path();
    state.link.setHistoryDumpPath(sim.dir() + "/History.dat");
    auto w = writer();
    state.sampleSinks.push_back(w.get());
    Recording doc(state);
    ASSERT_TRUE(state.link.openDevice());
    for (int i = 0; i < 3; ++i) doc.recordSample();
    w->waitIdle();
    auto store = std::make_unique<SampleStore>();
    doc.copyStore(*store);
    ASSERT_EQ(store->count, 3);
    std::string slots;
    for (int j = 0; j < 3; ++j) slots += std::to_string(store->startTime + 5 * j) + "\n";
    EXPECT_EQ(query(path, "SELECT time FROM power ORDER BY time"), slots);
}

TEST_F(ArchiveFixture, AMessageBoxLeftOpenHoldsUpNoWriting) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);
    OpenBoxSink box;
    {
        ArchiveWriter w(box, clock);
        w.setRetryDelay(50ms);
        w.configure({true, "kelvo-archive.sqlite", 0}, dir.path());
        for (int i = 0; i < 3; ++i) w.onMeterSample(sample(kJuneFirst + 5 * i, i));
        ASSERT_TRUE(box.waitShown(1));
        sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
        w.onMeterSample(sample(kJuneFirst + 15, 3));
        // The box is still open: every row lands all the same.
        EXPECT_EQ(awaitQuery(path, "SELECT count(*) FROM power", rowCount(4)), rowCount(4));
        EXPECT_EQ(box.shown.size(), 1u);
        box.close();
    }
    sqlite3_close(other);
}

// Samples still queued at the exit: a last try, and what that cannot write either reaches
// the archive at the next start, never over a row committed meanwhile.
TEST_F(ArchiveFixture, SamplesQueuedAtTheExitReachTheArchive) {
    for (bool lockedThroughExit : {false, true}) {
        SCOPED_TRACE(lockedThroughExit);
        std::remove(path.c_str());
        {
            auto w = writer();  // makes the archive
            w->waitIdle();
        }
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);
        {
            auto w = writer();
            w->setRetryDelay(1h);
            for (int i = 0; i < 3; ++i) w->onMeterSample(sample(kJuneFirst + 5 * i, 100 + i));
            w->waitIdle();
            ASSERT_FALSE(w->statusText().empty());
            if (!lockedThroughExit) sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
        }
        int expected = 3;
        if (lockedThroughExit) {
            // Another program writes a row for the first sample's second meanwhile.
            ASSERT_EQ(
                sqlite3_exec(other, "INSERT INTO power(time, total) VALUES(1780272000, 7); COMMIT;",
                             nullptr, nullptr, nullptr),
                SQLITE_OK);
            expected = 4;
        }
        sqlite3_close(other);
        {
            auto w = writer();
            w->waitIdle();
        }
        EXPECT_EQ(query(path, "SELECT count(*) FROM power"), rowCount(expected));
        EXPECT_EQ(query(path, "SELECT total FROM power WHERE time = 1780272000"),
                  lockedThroughExit ? "7\n" : "100\n");
        EXPECT_EQ(query(path, "SELECT count(*) FROM power WHERE total IN (100, 101, 102)"),
                  rowCount(3));
        {
            auto w = writer();  // a second start finds nothing left to merge
            w->waitIdle();
        }
        EXPECT_EQ(query(path, "SELECT count(*) FROM power"), rowCount(expected));
    }
}

TEST_F(ArchiveFixture, ADeletedArchiveIsStartedAgainAtItsPathAndSaidOnce) {
    auto w = writer();
    w->onMeterSample(sample(kJuneFirst, 1));
    w->waitIdle();
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
    for (int i = 1; i < 4; ++i) {
        w->onMeterSample(sample(kJuneFirst + 5 * i, 1));
        w->waitIdle();
    }
    EXPECT_EQ(query(path, "SELECT count(*) FROM power"), rowCount(3));
    EXPECT_TRUE(w->statusText().empty());
    w.reset();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].find(path), std::string::npos) << messages.shown[0];
}

// The recorder's archive, which this user may only read, in a directory it may not write,
// with the recorder stopped (no -wal or -shm beside it) and running (its last row only in
// the -wal): the window reads every row, and the writer writes none and shows no box, only
// its status. Root may write anything, so a root run looks as the nobody user.
TEST_F(ArchiveFixture, AnotherUsersArchiveIsReadWithoutBeingWritten) {
    const ArchiveSettings settings{true, "meter #2 50%?.sqlite", 0};
    const std::string file = settings.path(dir.path());
    {
        ArchiveWriter recorder(messages, clock);
        recorder.configure(settings, dir.path());
        recorder.onMeterSample(sample(kJuneFirst + 5, 100));
        recorder.waitIdle();
    }
    for (const bool running : {false, true}) {
        SCOPED_TRACE(running ? "recorder running" : "recorder stopped");
        sqlite3* live = nullptr;
        if (running) {
            ASSERT_EQ(sqlite3_open(file.c_str(), &live), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(live, "INSERT INTO power(time, total) VALUES(1780272010, 7)",
                                   nullptr, nullptr, nullptr),
                      SQLITE_OK);
            ASSERT_TRUE(std::filesystem::exists(file + "-shm"));
        }
        ::chmod(file.c_str(), 0444);
        ::chmod(dir.path().c_str(), 0555);
        ForkedChild viewer(
            [&] {
                if (::geteuid() == 0 &&
                    (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                    return std::string("still root");
                ArchiveDay day;
                std::string error;
                const bool read = ArchiveReader(file).readDay(2026, 6, 1, day, error);
                RecordingMessageSink boxes;
                FakeClock viewerClock{kJuneFirst + 20};
                auto w = std::make_unique<ArchiveWriter>(boxes, viewerClock);
                w->configure(settings, dir.path());
                w->onMeterSample(sample(kJuneFirst + 15, 1));
                w->waitIdle();
                const std::string status = w->statusText();
                w.reset();
                return (read ? std::to_string(day.rows) + " rows" : error) + " | " + status +
                       " | " + std::to_string(boxes.shown.size()) + " boxes";
            },
            ForkedChild::Then::End);
        // Run as an ordinary user, the test can only make that user's own file read-only,
        // which is a failure said once.
        const std::string boxes = ::geteuid() == 0 ? "0 boxes" : "1 boxes";
        EXPECT_EQ(viewer.reply(), (running ? "2 rows" : "1 rows") +
                                      std::string(" | Archive read-only, not written | ") + boxes);
        ::chmod(dir.path().c_str(), 0700);
        ::chmod(file.c_str(), 0644);
        sqlite3_close(live);
    }
    EXPECT_EQ(query(file, "SELECT time FROM power"), "1780272005\n1780272010\n");
}

// Under ThreadSanitizer: settings changed over and over while the writer reopens the file.
TEST_F(ArchiveFixture, ConfigureWhileTheWriterReopensIsSafe) {
    auto w = writer();
    std::atomic<bool> done{false};
    std::thread ticks([&] {
        for (int i = 0; !done; ++i) {
            w->onMeterSample(sample(kJuneFirst + 5 * i, i));
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int i = 0; i < 200; ++i) {
        w->configure({true, i % 2 ? "a.sqlite" : "b.sqlite", 0}, dir.path());
        std::this_thread::sleep_for(1ms);
    }
    done = true;
    ticks.join();
    w->waitIdle();
    EXPECT_TRUE(w->statusText().empty());
    EXPECT_EQ(query(dir.file("a.sqlite"), "PRAGMA integrity_check"), "ok\n");
}

// A wall clock stepped back 60 s across midnight, then forward ten years.
TEST_F(ArchiveFixture, ClockStepsNeverChangeCommittedRowsOrRemoveTheNewest) {
    const int64_t start = kJuneFirst + 86400 - 30;  // 2026-06-01 23:59:30
    auto w = writer(2);
    auto tick = [&](int32_t watts, int32_t table) {
        MeterSample s = sample(clock.now(), watts);
        s.days.consumption[0] = table;
        w->onMeterSample(s);
        clock.advance(5s);
    };
    clock.advance(std::chrono::seconds(start - clock.now()));
    for (int i = 0; i < 12; ++i) tick(1000 + i, clock.now() < kJuneFirst + 86400 ? 1 : 2);
    w->waitIdle();
    const std::string committed = query(path, "SELECT * FROM power ORDER BY time");
    clock.advance(-60s);
    for (int i = 0; i < 6; ++i) tick(2000 + i, 2);  // today's tables, yesterday's date
    w->waitIdle();
    clock.advance(std::chrono::seconds(int64_t{10} * 365 * 86400));
    tick(3000, 3);
    w->waitIdle();
    w.reset();
    const std::string all = query(path, "SELECT * FROM power ORDER BY time");
    EXPECT_EQ(query(path, "SELECT count(*) FROM power"), rowCount(19));
    // Every row committed before the steps is still there as it was.
    size_t at = 0;
    for (size_t end; (end = committed.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string row = committed.substr(at, end - at + 1);
        EXPECT_NE(all.find(row), std::string::npos) << row;
    }
    EXPECT_EQ(query(path, "SELECT date, substr(day_consumption, 1, 2) FROM device_energy"),
              "2026-06-01|1,\n2026-06-02|2,\n2036-05-30|3,\n");
}

// The file locked for longer than the queue holds: the status says so while it lasts and
// clears once all that was kept is written, and a day whose last rows gave way still gets
// the energy tables they carried.
TEST_F(ArchiveFixture, AnOverflowedQueueLeavesNoStaleEnergyAndNoStatusForEver) {
    auto w = writer();
    MeterSample s = sample(kJuneFirst, 1);
    s.days.consumption[0] = 10;
    w->onMeterSample(s);
    w->waitIdle();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);
    s.days.consumption[0] = 11;  // the last tables of June 1st, only in rows that give way
    for (int i = 1; i <= 10; ++i) {
        s.time = kJuneFirst + 86400 - 5 * i;
        w->onMeterSample(s);
    }
    s.days.consumption[0] = 12;
    for (size_t i = 0; i < ArchiveWriter::kQueueLimit; ++i) {
        s.time = kJuneFirst + 86400 + 5 * static_cast<int64_t>(i);
        w->onMeterSample(s);
    }
    w->waitIdle();
    EXPECT_NE(w->statusText().find("10 samples not archived"), std::string::npos)
        << w->statusText();
    sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    const std::string all = rowCount(1 + static_cast<int>(ArchiveWriter::kQueueLimit));
    EXPECT_EQ(awaitQuery(path, "SELECT count(*) FROM power", all), all);
    w->waitIdle();
    EXPECT_EQ(w->statusText(), "");
    EXPECT_EQ(query(path, "SELECT date, substr(day_consumption, 1, 3) FROM device_energy"),
              "2026-06-01|11,\n2026-06-02|12,\n");
}

// The WAL checkpoint of a closing archive waits on the disk; the tick queuing a sample and the
// status bar reading the state never wait with it.
TEST_F(ArchiveFixture, ASlowCheckpointHoldsUpNeitherTheTickNorTheStatus) {
    SyncGateVfs disk;
    auto w = writer();
    for (int i = 0; i < 50; ++i) w->onMeterSample(sample(kJuneFirst + 5 * i, i));
    w->waitIdle();
    disk.shut();
    w->configure({true, "other.sqlite", 0}, dir.path());  // closes, so checkpoints, the first
    ASSERT_TRUE(disk.waitForHeld(5s));
    auto reader = std::async(std::launch::async, [&] {
        w->onMeterSample(sample(kJuneFirst + 500, 1));
        return w->statusText();
    });
    const bool answered = reader.wait_for(5s) == std::future_status::ready;
    disk.openGate();
    EXPECT_TRUE(answered);
    reader.wait();
    w->waitIdle();
    EXPECT_EQ(query(dir.file("other.sqlite"), "SELECT count(*) FROM power"), rowCount(1));
}
