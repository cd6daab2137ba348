// The link pane of the status bar through a meter held by the headless recorder at the start,
// then going away and coming back, with the window kept responsive throughout, and the
// reconnect setting kept in kelvo.ini; the live list after the user's Disconnect.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <sstream>

#include "core/acquisition/SamplingCycle.h"
#include "core/base/Clock.h"
#include "core/config/DastConfig.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "support/ForkedChild.h"
#include "support/ShellFixture.h"
#include "support/SimProcess.h"
#include "ui/framework/Command.h"
#include "ui/realtime/LiveListView.h"
#include "ui/realtime/RealTimeDocument.h"
#include "ui/realtime/RealTimeWindow.h"
#include "ui/shell/Application.h"
#include "ui/shell/MainWindow.h"

using namespace std::chrono_literals;

namespace {

class LinkPane : public ShellTest {};

}  // namespace

TEST_F(LinkPane, ShowsEachStateAndTheWindowNeverStallsWhileTheLinkHeals) {
    DastConfig config = DastConfig::defaults();
    ASSERT_TRUE(saveConfig(config, SystemClock::instance()));
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--baud", "0"}));
    SerialTimings timings;
    // Every reply ends only after 300 ms of quiet, so any exchange run on the GUI thread
    // would stall it beyond the bound below.
    timings.quietGap = 300ms;
    timings.emptyRead = 600ms;
    PosixSerialPorts ports(sim.dir(), timings, sim.dir() + "/no-devices");
    // The headless recorder has the meter when the window starts.
    ForkedChild recorder(
        [&] {
            static auto held = PosixSerialPorts::openTerminal(sim.link());
            return held ? "y" : "n";
        },
        ForkedChild::Then::Stay, kRecorderProgram);
    ASSERT_EQ(recorder.reply(), "y");
    ModalAnswerer answers;
    Application app(ports, SystemClock::instance());
    ASSERT_TRUE(app.startUp());
    app.recorder().setReconnectTimings({{100ms, 200ms}, 300ms});
    MainWindow* frame = app.mainWindow();
    const QLabel* pane = frame->linkPane();
    auto paneShows = [pane](const QString& start) { return pane->text().startsWith(start); };

    const QString held =
        QStringLiteral("Meter held by kelvo-recorder (pid %1), next attempt ").arg(recorder.pid());
    ASSERT_TRUE(runEventsUntil([&] { return paneShows(held); }, 15s)) << pane->text().toStdString();
    recorder.end();
    ASSERT_TRUE(runEventsUntil([&] { return paneShows("Com1, last sample "); }, 15s))
        << pane->text().toStdString();
    // The longest wait of the GUI thread between two turns of a 1 ms timer, from the link's
    // loss to its return (the first paint of the windows at start-up is not counted).
    QElapsedTimer sinceLast;
    qint64 longestStall = 0;
    QTimer heartbeat;
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [&] { longestStall = std::max(longestStall, sinceLast.restart()); });
    sinceLast.start();
    heartbeat.start();

    ASSERT_EQ(sim.stop(), 0);
    sinceLast.restart();  // the test itself waited for the simulator: not the window's stall
    ASSERT_TRUE(runEventsUntil([&] { return paneShows("No device, next attempt "); }, 15s))
        << pane->text().toStdString();
    runEventsUntil([] { return false; }, 1s);  // attempts at the vanished port, and full probes
    SimProcess again(sim.dir());
    ASSERT_TRUE(again.start({"--baud", "0"}));
    sinceLast.restart();
    const int64_t lost = app.recorder().linkStatus().lastSample;
    ASSERT_TRUE(runEventsUntil([&] { return app.recorder().linkStatus().lastSample > lost; }, 15s));
    ASSERT_TRUE(runEventsUntil([&] { return paneShows("Com1, last sample "); }, 1s))
        << pane->text().toStdString();
    heartbeat.stop();
    // Any serial exchange on this thread would last at least one quiet gap (300 ms); the
    // bound leaves room for a loaded machine's scheduling without letting such a wait through.
    EXPECT_LT(longestStall, 200);

    ASSERT_TRUE(frame->executeCommand(Command::Disconnect));
    ASSERT_TRUE(runEventsUntil([&] { return pane->text() == "Disconnected"; }, 2s))
        << pane->text().toStdString();

    // The setting: on by default, switched off from the menu and kept in kelvo.ini.
    EXPECT_TRUE(frame->commandState(Command::ReconnectAutomatically).checked);
    ASSERT_TRUE(frame->executeCommand(Command::ReconnectAutomatically));
    EXPECT_FALSE(frame->commandState(Command::ReconnectAutomatically).checked);
    EXPECT_FALSE(app.recorder().autoReconnect());
    std::ifstream ini("kelvo.ini");
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_NE(text.str().find("[link]\nreconnect=false\n"), std::string::npos) << text.str();
    app.shutDown();
}

// Disconnect while the meter is being polled: that poll and the ticks after it record zeros,
// yet the live list keeps showing the last values read from the meter.
TEST_F(LinkPane, LiveListKeepsTheLastValuesAfterDisconnect) {
    DastConfig config = DastConfig::defaults();
    ASSERT_TRUE(saveConfig(config, SystemClock::instance()));
    SimProcess sim;
    ASSERT_TRUE(sim.start({}));  // 9,600 baud: a poll takes a good part of a second
    PosixSerialPorts ports(sim.dir(), SerialTimings{}, sim.dir() + "/no-devices");
    ModalAnswerer answers;
    Application app(ports, SystemClock::instance());
    ASSERT_TRUE(app.startUp());
    MainWindow* frame = app.mainWindow();
    auto* window = qobject_cast<RealTimeWindow*>(frame->activeChildWindow());
    ASSERT_NE(window, nullptr);
    const QTableWidget* list = window->listView()->list();
    auto column = [list] {
        QStringList cells;
        for (int row = 0; row < list->rowCount(); ++row) cells << list->item(row, 1)->text();
        return cells.join(QLatin1Char(' ')).toStdString();
    };
    auto zeros = [&] { return column().find_first_not_of("0 ") == std::string::npos; };
    ASSERT_TRUE(runEventsUntil([&] { return !zeros(); }, 20s)) << "no values from the meter";

    Recorder& recorder = app.recorder();
    ASSERT_TRUE(runEventsUntil([&] { return recorder.tickRunning(); }, 10s));  // a poll under way
    const std::string shown = column();
    ASSERT_TRUE(frame->executeCommand(Command::Disconnect));
    runEventsUntil([] { return false; }, 11s);  // two ticks
    EXPECT_EQ(column(), shown);
    EXPECT_EQ(recorder.channels()[kConsumptionRecord].power, 0u);
    EXPECT_FALSE(recorder.linkOpen());
    app.shutDown();
}
