#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/device/SerialLink.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "support/ForkedChild.h"
#include "support/PtyPair.h"

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

constexpr SerialTimings kFastProbe{milliseconds(20), milliseconds(150), milliseconds(150)};

struct ResolverFixture : ::testing::Test {
    fs::path appDir;
    fs::path devDir;

    void SetUp() override {
        const fs::path root = fs::temp_directory_path() /
                              ("kelvo-ports-" + std::to_string(::getpid()) + "-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        appDir = root / "app";
        devDir = root / "dev";
        fs::create_directories(appDir);
        fs::create_directories(devDir);
    }
    void TearDown() override { fs::remove_all(appDir.parent_path()); }

    std::string contents(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

}  // namespace

TEST_F(ResolverFixture, SerialDevicesCountUsbThenAcmThenBuiltInEachNumerically) {
    for (const char* name : {"ttyS10", "ttyS2", "ttyUSB1", "ttyACM0", "ttyUSB0", "ttyS0", "ttySX",
                             "ttyUSB", "tty1", "ttyS1a"}) {
        std::ofstream(devDir / name);
    }
    PosixSerialPorts ports(appDir, kFastProbe, devDir);
    EXPECT_EQ(ports.serialDevices(),
              (std::vector<fs::path>{devDir / "ttyUSB0", devDir / "ttyUSB1", devDir / "ttyACM0",
                                     devDir / "ttyS0", devDir / "ttyS2", devDir / "ttyS10"}));

    // A Com entry pins its own number only; the others still count the machine's devices.
    fs::create_symlink("/nowhere", appDir / "Com2");
    EXPECT_EQ(ports.resolve(1), devDir / "ttyUSB0");
    EXPECT_EQ(ports.resolve(2), appDir / "Com2");
    EXPECT_EQ(ports.resolve(3), devDir / "ttyACM0");
    EXPECT_EQ(ports.resolve(6), devDir / "ttyS10");
    EXPECT_EQ(ports.resolve(7), std::nullopt);
    EXPECT_EQ(ports.resolve(0), std::nullopt);
}

TEST_F(ResolverFixture, ComEntryThatIsNoTerminalIsSkippedUnwritten) {
    const fs::path file = appDir / "meter.log";
    const std::string original = "keep these bytes\n";
    std::ofstream(file) << original;
    ::mkfifo((appDir / "fifo").c_str(), 0600);
    struct Case {
        const char* what;
        fs::path target;
    } cases[] = {
        {"regular file", file},
        {"directory", appDir},
        {"null device", "/dev/null"},
        {"fifo", appDir / "fifo"},
        {"dangling link", appDir / "gone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(appDir / "Com1");
        fs::create_symlink(c.target, appDir / "Com1");
        PosixSerialPorts ports(appDir, kFastProbe, devDir);
        EXPECT_EQ(ports.open(1), nullptr);
    }
    // A plain file put there directly is no terminal either.
    fs::remove(appDir / "Com1");
    fs::copy_file(file, appDir / "Com1");
    EXPECT_EQ(PosixSerialPorts(appDir, kFastProbe, devDir).open(1), nullptr);
    EXPECT_EQ(contents(file), original);
    EXPECT_EQ(contents(appDir / "Com1"), original);
}

TEST_F(ResolverFixture, ProbeSkipsLinkToFileAndFindsTheTerminalBehindIt) {
    const fs::path file = appDir / "notes.txt";
    const std::string original(300, 'n');
    std::ofstream(file) << original;
    fs::create_symlink(file, appDir / "Com1");
    PtyPair meter;
    ASSERT_TRUE(meter.ok());
    fs::create_symlink(meter.slaveName, appDir / "Com2");
    meter.answerProbes({'O', 'K'});

    PosixSerialPorts ports(appDir, kFastProbe, devDir);
    RecordingMessageSink messages;
    FakeClock clock;
    SerialLink link(ports, messages, clock);
    EXPECT_TRUE(link.openDevice());
    EXPECT_EQ(meter.probes.load(), 1);
    EXPECT_EQ(contents(file), original);

    // The port is held: no second prober shares it while the link is open, and closing the
    // link (which needs the port to close) frees it again.
    EXPECT_EQ(ports.open(2), nullptr);
    EXPECT_TRUE(link.closeLink());
    EXPECT_NE(ports.open(2), nullptr);
    meter.stopAnswering();
}

// A port held by another program is turned away and its holder named; of several holders the
// recorder is the one named, also for the port a full probe leaves out. Once the recorder is
// gone the meter answers and nobody is named; a recorder taking the port after the link was
// lost is named by the try of that port alone.
TEST_F(ResolverFixture, PortHeldByTheRecorderNamesItUntilTheMeterAnswers) {
    PtyPair other, meter;
    ASSERT_TRUE(other.ok() && meter.ok());
    fs::create_symlink(meter.slaveName, appDir / "Com1");
    fs::create_symlink(other.slaveName, appDir / "Com2");
    // Each holder opens its port as the program does: lock and exclusive mode.
    auto holder = [](const std::string& port, const char* program) {
        return std::make_unique<ForkedChild>(
            [port] {
                static std::unique_ptr<PosixSerialPort> held;
                held = PosixSerialPorts::openTerminal(port);
                return held ? "y" : "n";
            },
            ForkedChild::Then::Stay, program);
    };
    auto terminal = holder(other.slaveName, "minicom");
    auto recorder = holder(meter.slaveName, kRecorderProgram);
    ASSERT_EQ(terminal->reply(), "y");
    ASSERT_EQ(recorder->reply(), "y");
    meter.answerProbes({'O', 'K'});

    PosixSerialPorts ports(appDir, kFastProbe, devDir);
    RecordingMessageSink messages;
    FakeClock clock;
    SerialLink link(ports, messages, clock);
    auto heldBy = [&link] {
        const auto held = link.heldBy();
        return held ? describeHolder(*held) : "nobody";
    };
    const std::string recorderText = "kelvo-recorder (pid " + std::to_string(recorder->pid()) + ")";
    EXPECT_FALSE(link.openDevice());
    EXPECT_EQ(heldBy(), recorderText);
    EXPECT_FALSE(link.openDevice(1));  // the reconnect loop's full probe after port 1 alone
    EXPECT_EQ(heldBy(), recorderText);
    EXPECT_EQ(meter.probes.load(), 0);

    // A killed holder leaves the exclusive mode behind on a terminal still open elsewhere.
    recorder->end();
    ::ioctl(meter.slave, TIOCNXCL);
    EXPECT_TRUE(link.openDevice());
    EXPECT_EQ(link.lastPort(), 1);
    EXPECT_EQ(heldBy(), "nobody");
    meter.stopAnswering();

    // The link lost and the port taken by a recorder started meanwhile.
    EXPECT_TRUE(link.closeLink());
    recorder = holder(meter.slaveName, kRecorderProgram);
    ASSERT_EQ(recorder->reply(), "y");
    EXPECT_FALSE(link.reopenLastPort());
    EXPECT_EQ(heldBy(), "kelvo-recorder (pid " + std::to_string(recorder->pid()) + ")");
}
