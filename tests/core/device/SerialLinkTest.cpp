#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/device/Protocol.h"
#include "core/device/ReplyBuffer.h"
#include "core/device/SerialLink.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/MeterReplies.h"

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

namespace {

// Records 1..15 numbered 1..15, 10 W apart, all on.
Bytes liveReply() {
    MeterLiveRecords records;
    for (int r = 0; r < 15; ++r) {
        records[r] = {static_cast<uint16_t>(r + 1), static_cast<uint16_t>(10 * (r + 1)), '1'};
    }
    return meterLiveReply(records);
}

Bytes lineFeedHistoryReply(const char* header) {
    MeterHistory history;
    history.days[0] = 10;  // 0x0A: a line feed that must reach the dump untranslated
    history.months[0] = 7;
    return meterHistoryReply(header, history);
}

struct LinkFixture : ::testing::Test {
    ScriptedPortOpener ports;
    RecordingMessageSink messages;
    FakeClock clock;
    std::vector<std::string> journal;
    SerialLink link{ports, messages, clock};
    std::filesystem::path dir;

    void SetUp() override {
        clock.journal = &journal;
        dir = std::filesystem::temp_directory_path() /
              ("kelvo-link-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        link.setHistoryDumpPath((dir / "History.dat").string());
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A device on port `n` that answers the probe, then whatever `answer` says.
    std::shared_ptr<ScriptedDevice> answeringDevice(
        int n, std::function<Bytes(const Bytes&)> answer = [](const Bytes&) { return Bytes{}; }) {
        auto device = ports.attach(n);
        device->journal = &journal;
        device->answer = [answer](const Bytes& frame) {
            return frame[1] == protocol::kProbe ? Bytes{'O', 'K'} : answer(frame);
        };
        return device;
    }

    void connect() {
        ASSERT_TRUE(link.openDevice());
        journal.clear();
    }
};

}  // namespace

TEST_F(LinkFixture, OpenDevice_SkipsPortsThatDoNotAnswerTheProbe) {
    struct Case {
        const char* what;
        Bytes probeReply;
        bool configureFails;
        bool lineErrors;
        bool babble;
    } cases[] = {
        {"silent", {}, false, false, false},
        {"one non-zero byte", {0x01}, false, false, false},
        {"second byte zero", {0x01, 0x00}, false, false, false},
        {"first byte zero", {0x00, 0x01}, false, false, false},
        {"line errors", {'O', 'K'}, false, true, false},
        {"cannot be configured", {'O', 'K'}, true, false, false},
        {"never falls quiet", {}, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPortOpener opener;
        SerialLink probeLink(opener, messages, clock);
        auto bad = opener.attach(2);
        bad->replies.push_back(c.probeReply);
        bad->configureFails = c.configureFails;
        bad->lineErrors = c.lineErrors;
        bad->babble = c.babble;
        auto good = opener.attach(5);
        good->replies.push_back({'O', 'K'});

        EXPECT_TRUE(probeLink.openDevice());
        EXPECT_TRUE(probeLink.isOpen());
        EXPECT_EQ(bad->closes, 1);
        EXPECT_EQ(good->closes, 0);
        EXPECT_EQ(opener.opened, (std::vector<int>{1, 2, 3, 4, 5}));
        if (c.lineErrors || c.configureFails) {
            EXPECT_TRUE(bad->frames.empty()) << "a port that is not usable is never written";
        } else {
            EXPECT_EQ(bad->frames, (std::vector<Bytes>{{0xAA, 0x00, 0x00, 0xAD}}));
        }
    }
}

TEST_F(LinkFixture, OpenDevice_NoAnswerOnAnyPortLeavesLinkClosed) {
    auto silent = ports.attach(99);
    EXPECT_FALSE(link.openDevice());
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.failureCount(), 0);
    EXPECT_EQ(ports.opened.size(), 99u);
    EXPECT_EQ(silent->closes, 1);
}

TEST_F(LinkFixture, CloseLink_OnClosedLinkReturnsZeroAndTouchesNothing) {
    EXPECT_FALSE(link.closeLink());
    auto device = answeringDevice(1);
    connect();
    EXPECT_TRUE(link.closeLink());
    EXPECT_FALSE(link.closeLink());
    EXPECT_EQ(device->closes, 1);
    EXPECT_FALSE(link.isOpen());
}

TEST_F(LinkFixture, FailureCounter_FourteenthSilentExchangeClosesLink) {
    bool answering = false;
    auto device =
        answeringDevice(1, [&](const Bytes&) { return answering ? liveReply() : Bytes{}; });
    connect();
    ChannelTable table{};

    for (int i = 1; i <= 13; ++i) {
        link.readLive(table);
        EXPECT_EQ(link.failureCount(), i);
    }
    EXPECT_TRUE(link.isOpen());

    answering = true;  // one answer in between resets the count
    link.readLive(table);
    EXPECT_EQ(link.failureCount(), 0);
    answering = false;
    for (int i = 1; i <= 13; ++i) {
        link.readLive(table);
    }
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(link.failureCount(), 13);

    link.readLive(table);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.failureCount(), 0);
    EXPECT_EQ(device->closes, 1);
}

TEST_F(LinkFixture, FailureCounter_WhatCountsAsAnAnswer) {
    struct Case {
        const char* what;
        Bytes reply;
        bool babble;
        int countAfter;  // from a count of 5
    } cases[] = {
        {"checksum fails, a reply still arrived", {'a', 'b', 'c', 0x27}, false, 0},
        {"one byte", {0x42}, false, 0},
        {"silence", {}, false, 6},
        {"endless bytes are no answer", {}, true, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPortOpener opener;
        SerialLink caseLink(opener, messages, clock);
        auto device = opener.attach(1);
        device->replies = {{'O', 'K'}, {}, {}, {}, {}, {}, c.reply};
        ASSERT_TRUE(caseLink.openDevice());
        ChannelTable table{};
        for (int i = 0; i < 5; ++i) {
            caseLink.readLive(table);
        }
        device->babble = c.babble;
        caseLink.readLive(table);
        EXPECT_EQ(caseLink.failureCount(), c.countAfter);
        EXPECT_TRUE(caseLink.isOpen());
    }
}

TEST_F(LinkFixture, PollWriteFailureClosesLink) {
    struct Case {
        const char* what;
        bool writeFails;
        long writeResult;
        bool history;
    } cases[] = {
        {"live write fails", true, -2, false},
        {"history write fails", true, -2, true},
        {"only three of four bytes written", false, 3, false},
        {"nothing written", false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPortOpener opener;
        SerialLink caseLink(opener, messages, clock);
        auto device = opener.attach(1);
        device->replies = {{'O', 'K'}};
        ASSERT_TRUE(caseLink.openDevice());
        device->writeFails = c.writeFails;
        device->writeResult = c.writeResult;
        ChannelTable table{};
        int32_t day[kDays]{};
        int32_t month[kMonths]{};
        if (c.history) {
            caseLink.readHistory(day, month, protocol::kConsumptionHistory);
        } else {
            caseLink.readLive(table);
        }
        EXPECT_FALSE(caseLink.isOpen());
        EXPECT_EQ(device->closes, 1);
    }
}

TEST_F(LinkFixture, PollExchanges_RunInOrderAndTheHistoryIsDumpedRawAndDecoded) {
    auto device = answeringDevice(1, [](const Bytes& frame) {
        return frame[1] == protocol::kSolarHistory ? lineFeedHistoryReply("SOLDAY")
               : frame[1] == protocol::kLive       ? liveReply()
                                                   : lineFeedHistoryReply("COMDAY");
    });
    connect();
    int32_t day[kDays]{};
    int32_t month[kMonths]{};
    link.readHistory(day, month, protocol::kSolarHistory);
    ChannelTable table{};
    link.readLive(table);

    // The device answers a history request only after its 20 ms; a live request at once.
    EXPECT_EQ(journal,
              (std::vector<std::string>{"purge", "write AA 0E 00 AD", "sleep 20", "read 114",
                                        "purge", "write AA 02 00 AD", "read 121"}));
    EXPECT_EQ(table[15].power, 150u);
    EXPECT_EQ(day[0], 10);
    EXPECT_EQ(month[0], 7);
    std::ifstream dump(dir / "History.dat", std::ios::binary);
    const Bytes dumped((std::istreambuf_iterator<char>(dump)), std::istreambuf_iterator<char>());
    EXPECT_EQ(dumped, lineFeedHistoryReply("SOLDAY"));
}

TEST_F(LinkFixture, ReadHistory_BadChecksumIsDumpedButNotDecoded) {
    Bytes corrupt = lineFeedHistoryReply("COMDAY");
    corrupt.back() ^= 0x01;
    auto device = answeringDevice(1, [&](const Bytes&) { return corrupt; });
    connect();
    int32_t day[kDays]{};
    int32_t month[kMonths]{};
    link.readHistory(day, month, protocol::kConsumptionHistory);
    EXPECT_EQ(day[0], 0);
    EXPECT_EQ(month[0], 0);
    EXPECT_EQ(link.failureCount(), 0);
    EXPECT_EQ(std::filesystem::file_size(dir / "History.dat"), corrupt.size());
}

TEST_F(LinkFixture, ReadHistory_NeverWritesThroughAPlantedLink) {
    const auto target = dir / "precious.txt";
    std::ofstream(target) << "keep me";
    std::filesystem::create_symlink(target, dir / "History.dat");
    auto device = answeringDevice(1, [](const Bytes&) { return lineFeedHistoryReply("COMDAY"); });
    connect();
    int32_t day[kDays]{};
    int32_t month[kMonths]{};
    link.readHistory(day, month, protocol::kConsumptionHistory);

    EXPECT_EQ(day[0], 10) << "the exchange goes on without its dump";
    std::ifstream kept(target);
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "keep me");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "History.dat"));
}

TEST_F(LinkFixture, SwitchChannels_SendsEachEntryAndWaitsAfterAcknowledgement) {
    auto device = answeringDevice(1, [](const Bytes&) { return Bytes{0x0D}; });
    connect();
    EXPECT_TRUE(link.switchChannels("05,112,"));
    EXPECT_EQ(journal,
              (std::vector<std::string>{"purge", "write AA 03 05 AD", "read 1", "sleep 500",
                                        "purge", "write AA 04 0C AD", "read 1", "sleep 500"}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LinkFixture, SwitchChannels_FailuresStopAtTheFailingEntryWithTheirMessage) {
    struct Case {
        const char* what;
        std::function<Bytes(const Bytes&)> answer;
        bool writeFails;
        std::vector<std::string> journal;
        std::string message;
    } cases[] = {
        {"silent device: three attempts",
         [](const Bytes&) { return Bytes{}; },
         false,
         {"purge", "write AA 03 05 AD", "read 0", "sleep 10", "purge", "write AA 03 05 AD",
          "read 0", "sleep 10", "purge", "write AA 03 05 AD", "read 0"},
         "Fail to receive data after writiing command!"},
        {"second attempt answered",
         [n = 0](const Bytes& frame) mutable {
             return frame[2] == 5 && ++n == 1 ? Bytes{} : Bytes{0x0D, 'x'};
         },
         false,
         {"purge", "write AA 03 05 AD", "read 0", "sleep 10", "purge", "write AA 03 05 AD",
          "read 2", "sleep 500", "purge", "write AA 04 0C AD", "read 2", "sleep 500"},
         ""},
        {"wrong acknowledgement on second entry",
         [](const Bytes& frame) {
             return frame[2] == 5 ? Bytes{0x0D} : Bytes{0x0A, 0x0D};
         },
         false,
         {"purge", "write AA 03 05 AD", "read 1", "sleep 500", "purge", "write AA 04 0C AD",
          "read 2"},
         "Received wrong data after writting command!"},
        {"write fails",
         [](const Bytes&) { return Bytes{0x0D}; },
         true,
         {"purge", "write AA 03 05 AD"},
         "Fail to write channel switch command!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPortOpener opener;
        RecordingMessageSink sink;
        SerialLink caseLink(opener, sink, clock);
        auto device = opener.attach(1);
        device->answer = [&c](const Bytes& frame) {
            return frame[1] == protocol::kProbe ? Bytes{'O', 'K'} : c.answer(frame);
        };
        ASSERT_TRUE(caseLink.openDevice());
        device->journal = &journal;
        device->writeFails = c.writeFails;
        journal.clear();

        EXPECT_EQ(caseLink.switchChannels("05,112,"), c.message.empty());
        EXPECT_EQ(journal, c.journal);
        EXPECT_EQ(sink.shown, c.message.empty() ? std::vector<std::string>{}
                                                : std::vector<std::string>{c.message});
        EXPECT_EQ(caseLink.failureCount(), 0) << "switching never touches the counter";
        EXPECT_TRUE(caseLink.isOpen());
    }
}

TEST_F(LinkFixture, SwitchChannels_WithoutOpenPortFailsAtFirstWrite) {
    EXPECT_FALSE(link.switchChannels("05,"));
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Fail to write channel switch command!"});
    EXPECT_TRUE(link.switchChannels("05")) << "a request without a comma sends nothing";
}

TEST_F(LinkFixture, ExchangesFromTwoThreadsNeverInterleave) {
    // Every exchange purges, writes one frame and reads its reply. Were a switch and a poll
    // to overlap, their steps would mix.
    std::vector<std::string> lineJournal;
    auto device = ports.attach(1);
    device->answer = [](const Bytes& frame) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        return frame[1] == protocol::kProbe  ? Bytes{'O', 'K'}
               : frame[1] == protocol::kLive ? liveReply()
                                             : Bytes{0x0D};
    };
    ASSERT_TRUE(link.openDevice());
    device->journal = &lineJournal;

    std::thread poller([&] {
        ChannelTable table{};
        for (int i = 0; i < 40; ++i) {
            link.readLive(table);
        }
    });
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(link.switchChannels("05,"));
    }
    poller.join();
    device->journal = nullptr;

    ASSERT_EQ(lineJournal.size(), 180u);
    for (size_t i = 0; i < lineJournal.size(); i += 3) {
        EXPECT_EQ(lineJournal[i], "purge") << i;
        EXPECT_TRUE(lineJournal[i + 1].starts_with("write")) << i;
        EXPECT_TRUE(lineJournal[i + 2].starts_with("read")) << i;
    }
    EXPECT_EQ(link.failureCount(), 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(ReplyBufferBound, EndlessLineStopsAtTheBoundAndIsDiscarded) {
    auto device = std::make_shared<ScriptedDevice>();
    device->babble = true;
    ScriptedSerialPort port(device);
    ReplyBuffer reply;
    reply.collect(port);
    EXPECT_FALSE(reply.arrived());
    EXPECT_LE(reply.bytes().size(), ReplyBuffer::kLimit + ReplyBuffer::kReadSize);
    EXPECT_EQ(device->purges, 1);
    EXPECT_EQ(device->reads, static_cast<int>(ReplyBuffer::kLimit / ReplyBuffer::kReadSize));
}

TEST_F(LinkFixture, CloseLink_DuringAnExchangeNeverWaitsForTheLine) {
    std::atomic<bool> inside{false};
    std::atomic<bool> release{false};
    auto device = answeringDevice(1, [&](const Bytes&) {
        inside = true;
        while (!release) std::this_thread::sleep_for(milliseconds(1));
        return liveReply();
    });
    connect();
    ChannelTable table{};
    std::thread poll([&] { link.readLive(table); });
    while (!inside) std::this_thread::sleep_for(milliseconds(1));

    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(link.closeLink());
    EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(100));
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(device->closes, 0) << "the port is still in the exchange's hands";
    EXPECT_FALSE(link.closeLink());

    release = true;
    poll.join();
    EXPECT_EQ(device->closes, 1) << "the exchange closes the port as it ends";
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(link.openDevice()) << "Connect finds the device again";
}

TEST_F(LinkFixture, CancelledProbeTriesNoPortUntilAllowedAgain) {
    auto device = answeringDevice(1);
    link.cancelProbe();
    EXPECT_FALSE(link.openDevice());
    EXPECT_TRUE(device->frames.empty());
    link.allowProbe();
    EXPECT_TRUE(link.openDevice());
}
