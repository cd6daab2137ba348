#include <gtest/gtest.h>
#include <termios.h>

#include "core/device/posix/PosixSerialPort.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "support/PtyPair.h"

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;
using Steady = std::chrono::steady_clock;

namespace {

constexpr SerialTimings kFast{milliseconds(20), milliseconds(300), milliseconds(150)};

long long msSince(Steady::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Steady::now() - start).count();
}

struct PosixPortFixture : ::testing::Test {
    PtyPair pty;
    std::unique_ptr<PosixSerialPort> port;

    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        port = PosixSerialPorts::openTerminal(pty.slaveName, kFast);
        ASSERT_NE(port, nullptr);
        ASSERT_TRUE(port->configure());
    }
};

}  // namespace

TEST_F(PosixPortFixture, Read_EndsOnQuietGapTimeoutOrFullBuffer) {
    struct Case {
        const char* what;
        std::vector<Bytes> bursts;  // sent 5 ms apart, then silence
        size_t max;
        long delivered;
        long long minMs, maxMs;
    } cases[] = {
        {"nothing arrives: ends at the read limit", {}, 64, 0, 290, 600},
        {"one burst: ends one quiet gap later", {Bytes(10, 0x55)}, 64, 10, 15, 200},
        {"bursts closer than the gap are one read", {Bytes(3, 1), Bytes(4, 2)}, 64, 7, 15, 200},
        {"more than asked for: a full read returns at once", {Bytes(100, 7)}, 64, 64, 0, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port->purge();
        std::thread device([&] {
            for (const Bytes& burst : c.bursts) {
                pty.send(burst);
                std::this_thread::sleep_for(milliseconds(5));
            }
        });
        uint8_t buffer[128];
        const auto start = Steady::now();
        const long got = port->read(buffer, c.max);
        const long long took = msSince(start);
        device.join();
        EXPECT_EQ(got, c.delivered);
        EXPECT_GE(took, c.minMs);
        EXPECT_LE(took, c.maxMs);
    }
}

TEST_F(PosixPortFixture, Read_BurstAfterTheQuietGapIsLeftForTheNextRead) {
    std::thread device([&] {
        pty.send(Bytes(5, 1));
        std::this_thread::sleep_for(milliseconds(120));
        pty.send(Bytes(6, 2));
    });
    uint8_t buffer[64];
    EXPECT_EQ(port->read(buffer, sizeof buffer), 5);
    EXPECT_EQ(port->read(buffer, sizeof buffer), 6);
    device.join();
}

TEST_F(PosixPortFixture, Purge_DiscardsWhatWaitsOnTheLine) {
    pty.send(Bytes{1, 2, 3, 4});
    std::this_thread::sleep_for(milliseconds(30));
    port->purge();
    uint8_t buffer[64];
    EXPECT_EQ(port->read(buffer, sizeof buffer), 0);
}

TEST_F(PosixPortFixture, Configure_RawBinaryLineAt9600Baud8N1) {
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);

    // Bytes that a cooked line would translate, swallow or act on cross untouched both ways.
    const Bytes awkward{0xAA, 0x0A, 0x0D, 0x11, 0x13, 0x03, 0x7F, 0x00, 0xAD};
    EXPECT_EQ(port->write(awkward.data(), awkward.size()), static_cast<long>(awkward.size()));
    EXPECT_EQ(pty.receive(milliseconds(60)), awkward);
    pty.send(awkward);
    uint8_t buffer[64];
    const long got = port->read(buffer, sizeof buffer);
    EXPECT_EQ(Bytes(buffer, buffer + std::max(got, 0L)), awkward);
}

TEST_F(PosixPortFixture, Write_GivesUpAtTheWriteLimitWhenTheLineIsStuck) {
    // Nobody reads the far end: the terminal's buffers fill and the write must not hang.
    const Bytes lots(1 << 20, 0x42);
    const auto start = Steady::now();
    const long wrote = port->write(lots.data(), lots.size());
    const long long took = msSince(start);
    EXPECT_GT(wrote, 0);
    EXPECT_LT(wrote, static_cast<long>(lots.size()));
    EXPECT_GE(took, 140);
    EXPECT_LE(took, 1000);
}

TEST_F(PosixPortFixture, Read_FarEndGoneFailsWithoutWaitingOut) {
    pty.closeMaster();
    ::close(pty.slave);
    pty.slave = -1;
    uint8_t buffer[64];
    const auto start = Steady::now();
    EXPECT_LE(port->read(buffer, sizeof buffer), 0);
    EXPECT_LT(msSince(start), 200);
    EXPECT_EQ(port->close(), 1);
    EXPECT_EQ(port->close(), 0);
}

TEST(PosixPortTimings, RealEmptyReadLastsAboutOnePointThreeSeconds) {
    const SerialTimings real;
    EXPECT_EQ(real.quietGap, milliseconds(20));
    EXPECT_EQ(real.writeLimit, milliseconds(3000));
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto port = PosixSerialPorts::openTerminal(pty.slaveName);
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->configure());
    uint8_t buffer[64];
    const auto start = Steady::now();
    EXPECT_EQ(port->read(buffer, sizeof buffer), 0);
    const long long took = msSince(start);
    EXPECT_GE(took, 1290);
    EXPECT_LE(took, 1700);
}

// Disconnect or the program's stop cancels the port from another thread: the read waiting on
// a silent line ends at once instead of after its empty-read time, and so does every later
// read or write.
TEST(PosixPortCancel, WaitingReadEndsAtOnceAndLaterTransfersFail) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto port = PosixSerialPorts::openTerminal(
        pty.slaveName, {milliseconds(20), milliseconds(20000), milliseconds(20000)});
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->configure());
    std::thread canceller([&] {
        std::this_thread::sleep_for(milliseconds(100));
        port->cancel();
    });
    uint8_t buffer[64];
    const auto start = Steady::now();
    EXPECT_EQ(port->read(buffer, sizeof buffer), -1);
    EXPECT_LT(msSince(start), 10000);
    canceller.join();
    const uint8_t frame[4] = {0xAA, 0x02, 0x00, 0xAD};
    EXPECT_EQ(port->write(frame, sizeof frame), -1);
    EXPECT_EQ(port->read(buffer, sizeof buffer), -1);
    EXPECT_LT(msSince(start), 10000);
}
