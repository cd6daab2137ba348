// The simulator as the program meets it: a real process behind a pseudo-terminal, talked
// to with plain termios calls, so these tests hold whatever the link above does.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/SimProcess.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<uint8_t> frame(uint8_t command, uint8_t argument = 0) {
    return {0xAA, command, argument, 0xAD};
}

struct Received {
    std::vector<uint8_t> bytes;
    std::chrono::milliseconds firstByte{-1};  // after the command was written
    std::chrono::milliseconds longestGap{0};  // between two reads that delivered bytes
    std::chrono::milliseconds spread{0};      // first to last byte
    std::vector<Clock::time_point> byteTimes;
};

// The program's end of the line, opened the way a serial port is opened.
class Terminal {
public:
    explicit Terminal(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~Terminal() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }

    bool send(const std::vector<uint8_t>& bytes) {
        m_sentAt = Clock::now();
        return ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Collects until the line has been quiet for `quiet` after some bytes, or for `limit`.
    Received collect(std::chrono::milliseconds limit = 1300ms,
                     std::chrono::milliseconds quiet = 150ms) {
        Received r;
        Clock::time_point last{};
        for (;;) {
            pollfd p{m_fd, POLLIN, 0};
            const auto wait = r.bytes.empty() ? limit : quiet;
            if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) break;
            uint8_t buffer[256];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) break;
            const auto now = Clock::now();
            if (r.bytes.empty()) {
                r.firstByte = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_sentAt);
            } else {
                r.longestGap =
                    std::max(r.longestGap,
                             std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
            }
            last = now;
            r.bytes.insert(r.bytes.end(), buffer, buffer + n);
            r.byteTimes.insert(r.byteTimes.end(), static_cast<size_t>(n), now);
        }
        if (!r.byteTimes.empty())
            r.spread = std::chrono::duration_cast<std::chrono::milliseconds>(r.byteTimes.back() -
                                                                             r.byteTimes.front());
        return r;
    }

    Received exchange(const std::vector<uint8_t>& command, std::chrono::milliseconds limit = 1300ms,
                      std::chrono::milliseconds quiet = 150ms) {
        ::tcflush(m_fd, TCIOFLUSH);
        send(command);
        return collect(limit, quiet);
    }

private:
    int m_fd;
    Clock::time_point m_sentAt;
};

bool checksumPasses(const std::vector<uint8_t>& r) {
    if (r.size() < 2) return false;
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < r.size(); ++i) sum += r[i];
    return static_cast<uint8_t>(sum) == r.back();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(MeterSimProcess, RepliesComeAtTheLinePaceLateTrickledOrJoined) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::vector<uint8_t>> commands;  // the last one's answer is checked
        void (*check)(const Received&);
    };
    const std::vector<Case> cases = {
        {"9,600 baud: one piece at about 1.04 ms a byte",
         {},
         {frame(2)},
         [](const Received& r) {
             ASSERT_EQ(r.bytes.size(), 121u);
             EXPECT_TRUE(checksumPasses(r.bytes));
             EXPECT_GE(r.spread, 100ms);
             EXPECT_LT(r.spread, 400ms);
             EXPECT_LT(r.longestGap, 20ms);  // the link ends a reply at a 20 ms pause
         }},
        {"unpaced",
         {"--baud", "0"},
         {frame(1)},
         [](const Received& r) {
             ASSERT_EQ(r.bytes.size(), 114u);
             EXPECT_LT(r.spread, 30ms);
         }},
        {"late",
         {"--baud", "0", "--delay", "300"},
         {frame(0)},
         [](const Received& r) {
             ASSERT_EQ(r.bytes.size(), 7u);
             EXPECT_GE(r.firstByte, 290ms);
         }},
        {"trickled",
         {"--baud", "0", "--trickle", "40"},
         {frame(0)},
         [](const Received& r) {
             ASSERT_EQ(r.bytes.size(), 7u);
             // Six gaps of 40 ms; a reader held up for a moment only shortens the measure.
             EXPECT_GE(r.spread, 150ms);
             EXPECT_GE(r.longestGap, 30ms);
         }},
        {"joined: nothing, then two replies in one go",
         {"--baud", "0", "--join", "100"},
         {frame(0), frame(2)},
         [](const Received& r) {
             ASSERT_EQ(r.bytes.size(), 7u + 121u);
             EXPECT_EQ(r.bytes[7], 'S');
         }},
        {"switch of a channel the meter lacks",
         {},
         {frame(3, 13)},
         [](const Received& r) {
             ASSERT_EQ(r.bytes.size(), 1u);
             EXPECT_NE(r.bytes[0], 0x0D);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimProcess sim;
        ASSERT_TRUE(sim.start(c.args));
        Terminal port(sim.link());
        ASSERT_TRUE(port.ok());
        Received last;
        for (const auto& command : c.commands) last = port.exchange(command, 600ms);
        // A busy machine can hold this reader up for a moment; a meter that pauses mid-reply
        // does it every time, so the steadiest of three replies counts.
        for (int retry = 0; retry < 2 && c.args.empty(); ++retry) {
            const Received again = port.exchange(c.commands.back(), 600ms);
            if (again.longestGap < last.longestGap) last = again;
        }
        c.check(last);
    }
}

TEST(MeterSimProcess, LinkIsMadeReplacedAndRemovedOnlyWhenItsOwn) {
    for (int signal : {SIGTERM, SIGINT}) {
        SimProcess sim;
        ASSERT_EQ(::symlink("/dev/pts/9999", sim.link(3).c_str()), 0);  // left by a crash
        ASSERT_TRUE(sim.start({}, 3));
        EXPECT_EQ(sim.stop(signal), 0);
        struct stat st {};
        EXPECT_NE(::lstat(sim.link(3).c_str(), &st), 0) << "link left behind";
    }
    // The user's own pin or file under the name stays as it is.
    for (const char* existing : {"file", "/dev/null"}) {
        SCOPED_TRACE(existing);
        SimProcess sim;
        if (std::string(existing) == "file") {
            std::ofstream(sim.link()) << "keep me";
        } else {
            ASSERT_EQ(::symlink(existing, sim.link().c_str()), 0);
        }
        EXPECT_FALSE(sim.start({}));
        EXPECT_EQ(sim.waitExit(3s), 1);  // it refused the name and ended
        if (std::string(existing) == "file") {
            EXPECT_EQ(readFile(sim.link()), "keep me");
        } else {
            char target[64] = {};
            ASSERT_GT(::readlink(sim.link().c_str(), target, sizeof target - 1), 0);
            EXPECT_STREQ(target, existing);
        }
    }
}
