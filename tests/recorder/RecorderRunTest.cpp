#include <gtest/gtest.h>
#include <signal.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/device/Protocol.h"
#include "core/store/DataFile.h"
#include "support/ArchiveFixture.h"
#include "support/BrokerProcess.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/FileText.h"
#include "support/SimProcess.h"

using namespace std::chrono_literals;

namespace {

using Powers = std::array<int64_t, 15>;  // ch01..ch12, spare, consumption, solar

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// kelvo-recorder in the simulator's directory, its output in recorder.out there.
struct RecorderProgram {
    explicit RecorderProgram(std::string dir) : dir(std::move(dir)) {}
    bool start() { return process.start({KELVO_RECORDER, "--dir", dir}, output()); }
    std::string output() const { return dir + "/recorder.out"; }
    bool saw(const std::string& text, size_t times = 1) const {
        return eventually([&] { return countOf(fileText(output()), text) >= times; }, 60s);
    }
    std::string dir;
    ChildProcess process;
};

// The live replies the simulator sent, in order, from its frame log.
std::vector<Powers> liveRepliesSent(const std::string& log) {
    std::vector<Powers> replies;
    std::istringstream lines(fileText(log));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t tx = line.find(" tx ");
        if (line.find(" live: ") == std::string::npos || tx == std::string::npos) continue;
        std::vector<uint8_t> bytes;
        std::istringstream hex(line.substr(tx + 4));
        unsigned byte = 0;
        while (hex >> std::hex >> byte) bytes.push_back(static_cast<uint8_t>(byte));
        ChannelTable table{};
        protocol::decodeLive(bytes, table);
        Powers powers{};
        for (size_t k = 0; k < powers.size(); ++k) powers[k] = table[k + 1].power;
        replies.push_back(powers);
    }
    return replies;
}

struct ArchiveRow {
    int64_t time = 0;
    Powers powers{};
};

// The archive's power rows in time order.
std::vector<ArchiveRow> archiveRows(const std::string& path) {
    std::vector<ArchiveRow> rows;
    std::istringstream lines(query(path,
                                   "SELECT time, ch01, ch02, ch03, ch04, ch05, ch06, ch07, ch08, "
                                   "ch09, ch10, ch11, ch12, spare13, consumption, solar FROM power "
                                   "ORDER BY time"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream columns(line);
        std::string column;
        ArchiveRow row;
        std::getline(columns, column, '|');
        row.time = std::stoll(column);
        for (int64_t& power : row.powers) {
            std::getline(columns, column, '|');
            power = std::stoll(column);
        }
        rows.push_back(row);
    }
    return rows;
}

std::string integrityOf(const std::string& path) { return query(path, "PRAGMA integrity_check"); }

struct DataFileImage {
    DayTable days{};
    MonthTable months{};
    std::unique_ptr<SampleStore> store = std::make_unique<SampleStore>();
    DataFile::Load load(const std::string& path) {
        return DataFile::load(path, days, months, *store);
    }
    // The slot of ring `ring` that holds the sample of `time`; nothing when the store lacks it.
    std::optional<int32_t> at(int ring, int64_t time) const {
        const int64_t slot = (time - store->startTime) / kSamplePeriodSeconds;
        if (slot < 0 || slot >= store->count) return std::nullopt;
        return store->samples[ring][(store->startIndex + slot) % kRingSlots];
    }
};

}  // namespace

// The desktop left a dast.data an hour old; the recorder takes the directory over, records
// what the meter sends and is stopped in the middle of a poll: it is gone within 2 s, every
// completed poll is one archive row with the very values the meter sent, and dast.data holds
// the desktop's hour, the gap and the recorder's samples at their times.
TEST(RecorderRun, RecordsTheMetersValuesAndStopsMidPollWithinTwoSeconds) {
    SimProcess sim;
    const std::string frames = sim.dir() + "/frames.log";
    ASSERT_TRUE(sim.start({"--log", frames}));

    DataFileImage desktop;
    const int64_t hourAgo = ::time(nullptr) / 5 * 5 - 3600;
    desktop.store->startTime = static_cast<int32_t>(hourAgo - 600);
    desktop.store->count = 120;  // ten minutes, ending 50 minutes ago
    desktop.store->writeIndex = 120;
    for (int k = 0; k < 120; ++k) desktop.store->samples[3][k] = 4200 + k;
    desktop.days.consumption[0] = 77;
    ASSERT_TRUE(
        DataFile::save(sim.dir() + "/dast.data", desktop.days, desktop.months, *desktop.store));

    RecorderProgram recorder(sim.dir());
    ASSERT_TRUE(recorder.start());
    ASSERT_TRUE(recorder.saw("meter found on Com1")) << fileText(recorder.output());
    // Three polls, then the stop lands in the first exchange of the fourth.
    ASSERT_TRUE(eventually([&] { return countOf(fileText(frames), " live: ") >= 3; }, 60s));
    ASSERT_TRUE(
        eventually([&] { return countOf(fileText(frames), "consumption history") >= 4; }, 30s));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(recorder.process.stop(SIGTERM, 10s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);

    const std::vector<ArchiveRow> rows = archiveRows(sim.dir() + "/kelvo-archive.sqlite");
    EXPECT_EQ(integrityOf(sim.dir() + "/kelvo-archive.sqlite"), "ok\n");
    const std::vector<Powers> sent = liveRepliesSent(frames);
    ASSERT_EQ(rows.size(), sent.size()) << "one row per completed poll";
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].powers, sent[i]) << "row " << i;

    DataFileImage after;
    ASSERT_EQ(after.load(sim.dir() + "/dast.data"), DataFile::Load::Loaded);
    EXPECT_EQ(after.at(3, hourAgo - 600), 4200);
    EXPECT_EQ(after.at(3, hourAgo - 5), 4319);
    EXPECT_EQ(after.at(3, hourAgo + 600), 0) << "the time nobody recorded";
    for (const ArchiveRow& row : rows) {
        for (int ring : {1, 12, 14, 15})
            EXPECT_EQ(after.at(ring, row.time), row.powers[ring - 1]) << "ring " << ring;
    }
    EXPECT_NE(fileText(sim.dir() + "/Log.txt").find("meter found on Com1"), std::string::npos);
}

// One recorder per directory: a second is refused with the holder's pid; the holder killed
// outright leaves whole files and a lock that blocks nobody; the meter unplugged and back is
// found again by itself.
TEST(RecorderRun, OneRecorderPerDirectorySurvivesAKillAndFindsTheMeterAgain) {
    SimProcess sim;
    ASSERT_TRUE(sim.start({}));
    const std::string archive = sim.dir() + "/kelvo-archive.sqlite";
    {
        RecorderProgram first(sim.dir());
        ASSERT_TRUE(first.start());
        ASSERT_TRUE(eventually([&] { return !archiveRows(archive).empty(); }, 60s));
        EXPECT_EQ(first.process.stop(SIGINT, 10s), 0);
    }
    RecorderProgram holder(sim.dir());
    ASSERT_TRUE(holder.start());
    ASSERT_TRUE(holder.saw("meter found on Com1", 2));
    RecorderProgram second(sim.dir());
    ASSERT_TRUE(second.start());
    EXPECT_EQ(second.process.waitExit(10s), 3);
    EXPECT_NE(fileText(second.output()).find("(pid " + std::to_string(holder.process.pid()) + ")"),
              std::string::npos)
        << fileText(second.output());

    const size_t rowsBefore = archiveRows(archive).size();
    ASSERT_TRUE(eventually([&] { return archiveRows(archive).size() > rowsBefore; }, 60s));
    EXPECT_EQ(holder.process.stop(SIGKILL), 128 + SIGKILL);
    EXPECT_EQ(integrityOf(archive), "ok\n");
    DataFileImage image;
    EXPECT_EQ(image.load(sim.dir() + "/dast.data"), DataFile::Load::Loaded);

    RecorderProgram next(sim.dir());
    ASSERT_TRUE(next.start());
    ASSERT_TRUE(next.saw("meter found on Com1", 3));
    // Unplugged: the simulator goes with its link; plugged in again: a new terminal.
    sim.stop();
    ASSERT_TRUE(next.saw("link lost on Com1"));
    SimProcess replugged(sim.dir());
    ASSERT_TRUE(replugged.start({}));
    ASSERT_TRUE(next.saw("meter found on Com1", 4));
    const size_t rowsNow = archiveRows(archive).size();
    EXPECT_TRUE(eventually([&] { return archiveRows(archive).size() > rowsNow; }, 60s));
    EXPECT_EQ(next.process.stop(SIGTERM, 10s), 0);
}

// Publishing switched on while the recorder runs: SIGHUP reads kelvo.ini again and the broker
// gets what the desktop program publishes, with the node id the recorder chose kept in the file.
TEST(RecorderRun, HangUpReadsTheSettingsAgainAndPublishesAsTheDesktopDoes) {
    BrokerProcess broker;
    ASSERT_TRUE(broker.start());
    TopicRecorder topics(broker.port());
    SimProcess sim;
    ASSERT_TRUE(sim.start({}));
    RecorderProgram recorder(sim.dir());
    ASSERT_TRUE(recorder.start());
    ASSERT_TRUE(recorder.saw("meter found on Com1"));
    EXPECT_EQ(topics.last("kelvo/status"), "<none>");

    std::ofstream(sim.dir() + "/kelvo.ini")
        << "[mqtt]\nenabled=true\nhost=127.0.0.1\nport=" << broker.port() << "\n";
    ::kill(recorder.process.pid(), SIGHUP);
    EXPECT_EQ(topics.waitFor("kelvo/status", "online"), "online");
    EXPECT_EQ(topics.waitFor("kelvo/link", "connected"), "connected");
    EXPECT_NE(topics.waitFor("kelvo/power/total"), "<none>");
    EXPECT_FALSE(topics.topicsUnder("homeassistant/").empty());
    EXPECT_NE(fileText(sim.dir() + "/kelvo.ini").find("node_id=kelvo_"), std::string::npos);
    // A dast.cfg that cannot be written (a directory in its place): said, and no exit 0.
    std::filesystem::remove(sim.dir() + "/dast.cfg");
    std::filesystem::create_directory(sim.dir() + "/dast.cfg");
    EXPECT_EQ(recorder.process.stop(SIGTERM, 10s), 4);
    EXPECT_EQ(topics.waitFor("kelvo/status", "offline"), "offline");
    EXPECT_TRUE(recorder.saw("could not write dast.cfg"));
    EXPECT_EQ(countOf(fileText(recorder.output()), "dast.cfg written"), 0u);
}
