// The long-term archive on a real SQLite file: rows as handed in, days read back with their
// gaps and true length, energy, range export, retention, and a writer that survives files it
// cannot write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "core/archive/ArchiveDatabase.h"
#include "core/archive/ArchiveExport.h"
#include "core/archive/ArchiveReader.h"
#include "core/archive/ArchiveWriter.h"
#include "support/ArchiveFixture.h"

using namespace std::chrono_literals;

TEST_F(ArchiveFixture, RowsEqualTheSamplesAndADayReadsBackWithGapsAndEnergy) {
    {
        auto w = writer();
        // One hour of 1,000 W on every ring from 01:00, one more sample at 23:59:55.
        for (int i = 0; i < 720; ++i) w->onMeterSample(sample(kJuneFirst + 3600 + 5 * i, 1000));
        w->onMeterSample(sample(kJuneFirst + 86395, 20));
        w->waitIdle();
        EXPECT_TRUE(w->statusText().empty());
    }
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(query(path, "SELECT * FROM power WHERE time=" + std::to_string(kJuneFirst + 86395)),
              "1780358395|20|21|22|23|24|25|26|27|28|29|30|31|32|33|34|35\n");
    EXPECT_EQ(query(path, "PRAGMA journal_mode"), "wal\n");
    EXPECT_EQ(query(path, "PRAGMA user_version"), "1\n");
    const std::string zeros37(37 * 2, ',');  // 37 more zero values after the first of 40
    EXPECT_EQ(
        query(path, "SELECT date, substr(day_consumption,1,4), month_solar FROM device_energy"),
        "2026-06-01|7,0,|0,0,0,0,0,0,0,0,0,0,0,99\n");

    ArchiveReader reader(path);
    ArchiveDay day;
    std::string error;
    ASSERT_TRUE(reader.readDay(2026, 6, 1, day, error)) << error;
    EXPECT_EQ(day.slotCount, 17280);
    EXPECT_EQ(day.rows, 721);
    EXPECT_EQ(day.power[3][719], kNoSample);  // 00:59:55: a gap, not 0 W
    EXPECT_EQ(day.power[3][720], 1003);
    EXPECT_EQ(day.power[15][17279], 35);
    const auto kwh = dayEnergyKwh(day);
    EXPECT_NEAR(kwh[0], 1.0 + 20 * 5 / 3.6e6, 1e-9);  // one hour at 1 kW, plus 5 s at 20 W
    EXPECT_NEAR(kwh[12], 720 * 1012 * 5 / 3.6e6 + 32 * 5 / 3.6e6, 1e-9);

    ASSERT_TRUE(reader.readDay(2026, 6, 2, day, error));
    EXPECT_EQ(day.rows, 0);
    EXPECT_FALSE(reader.readDay(2026, 2, 30, day, error));
}

TEST_F(ArchiveFixture, DaysAcrossDaylightSavingChangesHaveTheirTrueLength) {
    LocalZone berlin("Europe/Berlin");
    struct Case {
        int month, day, slotCount;
    };
    for (const Case c : {Case{3, 29, 16560}, Case{10, 25, 18000}, Case{6, 1, 17280}}) {
        SCOPED_TRACE(c.month);
        int64_t start = 0, end = 0;
        ASSERT_TRUE(ArchiveReader::dayBounds(2026, c.month, c.day, start, end));
        {
            auto w = writer();
            w->onMeterSample(sample(end - 5, 500));  // the last slot of the local day
            w->onMeterSample(sample(end, 600));      // the next day's first
            w->waitIdle();
        }
        ArchiveDay day;
        std::string error;
        ASSERT_TRUE(ArchiveReader(path).readDay(2026, c.month, c.day, day, error)) << error;
        EXPECT_EQ(day.slotCount, c.slotCount);
        EXPECT_EQ(day.rows, 1);
        EXPECT_EQ(day.power[0][static_cast<size_t>(c.slotCount - 1)], 500);
    }
}

TEST_F(ArchiveFixture, RangeExportWritesTheSampleLinesOfTheDataExport) {
    {
        auto w = writer();
        for (int i = 0; i < 4; ++i) w->onMeterSample(sample(kJuneFirst + 86390 + 5 * i, i));
        w->onMeterSample(sample(kJuneFirst + 2 * 86400 + 10, 9));  // outside the range
        w->waitIdle();
    }
    const std::string csv = dir.file("range.csv");
    RangeExport range{path, csv, 2026, 6, 1, 2026, 6, 2, 10};
    std::string error;
    int64_t lastDone = -1;
    ASSERT_EQ(exportRange(
                  range,
                  [&](int64_t done, int64_t) {
                      lastDone = done;
                      return true;
                  },
                  error),
              ExportOutcome::Written)
        << error;
    EXPECT_EQ(lastDone, 4);
    std::ifstream in(csv);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "Time, Channel 01, Channel 02, Channel 03, Channel 04, Channel 05, Channel 06, "
              "Channel 07, Channel 08, Channel 09, Channel 10, Channel 11, Channel 12, "
              "Consumption, Solar\n"
              "2026-06-01 23-59-50, 000001, 000002, 000003, 000004, 000005, 000006, 000007, "
              "000008, 000009, 000010, 000011, 000012, 000014, 000015\n"
              "2026-06-02 00-00-00, 000003, 000004, 000005, 000006, 000007, 000008, 000009, "
              "000010, 000011, 000012, 000013, 000014, 000016, 000017\n");

    // Cancelled: no file under either name.
    range.csvPath = dir.file("cancelled.csv");
    EXPECT_EQ(exportRange(
                  range, [](int64_t, int64_t) { return false; }, error),
              ExportOutcome::Cancelled);
    EXPECT_FALSE(std::ifstream(range.csvPath).good());
    EXPECT_FALSE(std::ifstream(range.csvPath + ".part").good());
}

TEST_F(ArchiveFixture, RangeExportRefusesEveryNameOfTheLiveArchive) {
    auto w = writer();
    for (int i = 0; i < 3; ++i) w->onMeterSample(sample(kJuneFirst + 5 * i, i));
    w->waitIdle();  // the writer keeps the file open, with its -wal and -shm beside it
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(::link(path.c_str(), dir.file("hard-link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path().c_str(), dir.file("via").c_str()), 0);
    const std::string before = query(path, "SELECT * FROM power");
    ASSERT_EQ(std::count(before.begin(), before.end(), '\n'), 3);

    // The files themselves, a log file not there at this moment, other spellings, a second
    // hard link.
    for (const std::string& target :
         {path, path + "-wal", path + "-shm", path + "-journal",
          dir.file("sub/../kelvo-archive.sqlite"), dir.file("via/kelvo-archive.sqlite-wal"),
          dir.file("hard-link")}) {
        SCOPED_TRACE(target);
        RangeExport range{path, target, 2026, 6, 1, 2026, 6, 1, 5};
        std::string error;
        EXPECT_EQ(exportRange(range, {}, error), ExportOutcome::Failed);
        EXPECT_EQ(error, "Cannot export into the archive itself: " + target);
    }
    w->onMeterSample(sample(kJuneFirst + 15, 3));
    w->waitIdle();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(query(path, "SELECT count(*) FROM power"), "4\n");
}

TEST_F(ArchiveFixture, RetentionRemovesRowsOlderThanKeepDays) {
    auto w = writer(2);
    w->onMeterSample(sample(kJuneFirst - 3 * 86400, 1));  // older than two days
    w->onMeterSample(sample(kJuneFirst - 86400, 2));
    w->onMeterSample(sample(kJuneFirst, 3));
    w->waitIdle();
    EXPECT_EQ(query(path, "SELECT time FROM power"),
              std::to_string(kJuneFirst - 86400) + "\n" + std::to_string(kJuneFirst) + "\n");
    EXPECT_EQ(query(path, "SELECT date FROM device_energy"), "2026-05-31\n2026-06-01\n");
}

TEST_F(ArchiveFixture, UnwritableArchivesAreReportedOnceAndNothingIsLostWhenTheyRecover) {
    enum class Fault { Garbage, ForeignDatabase, ForeignVersionOne, NewerLayout, Locked };
    for (Fault fault : {Fault::Garbage, Fault::ForeignDatabase, Fault::ForeignVersionOne,
                        Fault::NewerLayout, Fault::Locked}) {
        SCOPED_TRACE(static_cast<int>(fault));
        std::remove(path.c_str());
        std::remove((path + ".pending").c_str());  // what the case before could not write
        messages.shown.clear();
        sqlite3* other = nullptr;
        if (fault == Fault::Garbage) {
            std::ofstream(path) << std::string(4096, 'x');
        } else {
            sqlite3_open(path.c_str(), &other);
            const char* sql = fault == Fault::ForeignDatabase ? "CREATE TABLE notes(text);"
                              : fault == Fault::ForeignVersionOne
                                  ? "CREATE TABLE notes(text); PRAGMA user_version=1;"
                              : fault == Fault::NewerLayout ? "PRAGMA user_version=2;"
                                                            : "BEGIN EXCLUSIVE;";
            ASSERT_EQ(sqlite3_exec(other, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        }
        const std::string before = query(path, "SELECT count(*) FROM sqlite_master");
        auto w = writer();
        for (int i = 0; i < 3; ++i) {
            w->onMeterSample(sample(kJuneFirst + 5 * i, i));
            w->waitIdle();
            std::this_thread::sleep_for(60ms);  // past a retry
        }
        EXPECT_EQ(messages.shown.size(), 1u);
        ASSERT_FALSE(messages.shown.empty());
        EXPECT_NE(messages.shown[0].find(path), std::string::npos) << messages.shown[0];
        EXPECT_FALSE(w->statusText().empty());
        if (fault != Fault::Locked) {
            // Not ours: left exactly as it was, journal mode included, nothing beside it.
            EXPECT_EQ(query(path, "SELECT count(*) FROM sqlite_master"), before);
            if (fault != Fault::Garbage) {
                EXPECT_EQ(query(path, "PRAGMA journal_mode"), "delete\n");
            }
            EXPECT_NE(::access((path + "-wal").c_str(), F_OK), 0);
            EXPECT_NE(::access((path + "-shm").c_str(), F_OK), 0);
        } else {
            sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
            std::this_thread::sleep_for(100ms);
            w->onMeterSample(sample(kJuneFirst + 15, 3));
            for (int i = 0; i < 100 && !w->statusText().empty(); ++i) {
                std::this_thread::sleep_for(20ms);
                w->waitIdle();
            }
            EXPECT_TRUE(w->statusText().empty());
            w->waitIdle();
            EXPECT_EQ(query(path, "SELECT count(*) FROM power"), "4\n");  // none lost
        }
        w.reset();
        sqlite3_close(other);
    }
}

// A disk that fills up (the file size limit of the process stands in for it), then a
// read-only one (permissions, taken from root too by dropping to another user): each is said
// once, the samples wait in the queue, and all of them land once the file can be written.
// Runs in a child process, since the limit and the user are the whole process's.
TEST_F(ArchiveFixture, FullThenReadOnlyDiskIsReportedOnceAndLosesNothing) {
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(report[0]);
        std::string failures;
        auto check = [&failures](bool ok, const std::string& what) {
            if (!ok) failures += what + "\n";
        };
        // Polls until the writer's status is (or is no longer) a complaint; 5 s at most.
        auto settle = [](ArchiveWriter& w, bool failing) {
            for (int i = 0; i < 250 && w.statusText().empty() == failing; ++i) {
                w.waitIdle();
                std::this_thread::sleep_for(20ms);
            }
            return w.statusText().empty() != failing;
        };
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending us
        int sent = 0;
        auto w = writer();
        w->onMeterSample(sample(kJuneFirst, 0));
        w->waitIdle();
        ++sent;

        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlim_t unlimited = limit.rlim_cur;
        limit.rlim_cur = 32 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        for (int i = 0; i < 200 && w->statusText().empty(); ++i, ++sent) {
            w->onMeterSample(sample(kJuneFirst + 5 * sent, sent));
            w->waitIdle();
        }
        check(!w->statusText().empty(), "a full disk was not noticed");
        for (int i = 0; i < 3; ++i, ++sent) w->onMeterSample(sample(kJuneFirst + 5 * sent, sent));
        check(settle(*w, true), "the status stopped saying the disk is full");
        limit.rlim_cur = unlimited;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        check(settle(*w, false), "no recovery once space came back");
        w.reset();
        check(messages.shown.size() == 1,
              "full disk said " + std::to_string(messages.shown.size()) + " times");
        check(query(path, "SELECT count(*) FROM power") == std::to_string(sent) + "\n",
              "rows lost to the full disk");

        ::chmod(path.c_str(), 0444);
        ::chmod(dir.path().c_str(), 0555);
        const bool root = ::geteuid() == 0;
        // Still the writer's own file: another user's is only viewed, and said nothing of.
        if (root && ::chown(path.c_str(), 65534, 65534) != 0) check(false, "could not give away");
        if (root && ::seteuid(65534) != 0) check(false, "could not drop to another user");
        w = writer();
        for (int i = 0; i < 3; ++i, ++sent) w->onMeterSample(sample(kJuneFirst + 5 * sent, sent));
        check(settle(*w, true), "a read-only file was not noticed");
        if (root && ::seteuid(0) != 0) check(false, "could not become root again");
        ::chmod(dir.path().c_str(), 0700);
        ::chmod(path.c_str(), 0644);
        check(settle(*w, false), "no recovery once the file was writable again");
        w.reset();
        check(messages.shown.size() == 2,
              "read-only said " + std::to_string(messages.shown.size() - 1) + " times");
        check(query(path, "SELECT count(*) FROM power") == std::to_string(sent) + "\n",
              "rows lost to the read-only file");
        check(query(path, "PRAGMA integrity_check") == "ok\n", "damaged file");
        const ssize_t written = ::write(report[1], failures.data(), failures.size());
        ::_exit(written == static_cast<ssize_t>(failures.size()) ? 0 : 1);
    }
    ::close(report[1]);
    std::string failures;
    char buffer[256];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;) failures.append(buffer, n);
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(failures, "");
}

TEST_F(ArchiveFixture, KilledWhileWritingLeavesAWholeFileMissingAtMostTheSampleInHand) {
    int acknowledged[2];
    ASSERT_EQ(::pipe(acknowledged), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(acknowledged[0]);
        RecordingMessageSink quiet;
        FakeClock childClock{kJuneFirst};
        ArchiveWriter w(quiet, childClock);
        w.configure({true, path, 0}, dir.path());
        for (int32_t i = 0;; ++i) {
            w.onMeterSample(sample(kJuneFirst + 5 * i, i));
            w.waitIdle();
            // Only what the writer has committed is acknowledged.
            if (::write(acknowledged[1], &i, sizeof i) != sizeof i) ::_exit(1);
        }
    }
    ::close(acknowledged[1]);
    int32_t last = -1;
    int32_t value;
    while (last < 300 && ::read(acknowledged[0], &value, sizeof value) == sizeof value)
        last = value;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    while (::read(acknowledged[0], &value, sizeof value) == sizeof value) last = value;
    ::close(acknowledged[0]);

    EXPECT_EQ(query(path, "PRAGMA integrity_check"), "ok\n");
    const int rows = std::stoi(query(path, "SELECT count(*) FROM power"));
    EXPECT_GE(rows, last + 1);  // every acknowledged sample is there
    EXPECT_LE(rows, last + 2);  // at most the one in hand besides
}
