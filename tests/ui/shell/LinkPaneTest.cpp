// The link pane of the status bar through a meter that goes away and comes back, with the
// window kept responsive throughout, and the reconnect setting kept in kelvo.ini.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <sstream>

#include "core/acquisition/SamplingCycle.h"
#include "core/base/Clock.h"
#include "core/config/Configuration.h"
#include "core/device/posix/PortResolver.h"
#include "support/ShellFixture.h"
#include "support/SimProcess.h"
#include "ui/framework/CommandIds.h"
#include "ui/shell/Application.h"
#include "ui/shell/MainWindow.h"

using namespace std::chrono_literals;

namespace {

class LinkPane : public ShellTest {
protected:
    // Runs the event loop until `done` holds or `limit` has passed.
    static bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > limit.count()) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
};

}  // namespace

TEST_F(LinkPane, ShowsEachStateAndTheWindowNeverStallsWhileTheLinkHeals) {
    Configuration config = Configuration::defaults();
    ASSERT_TRUE(saveConfig(config, SystemClock::instance()));
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--baud", "0"}));
    SerialTimings timings;
    // Every reply ends only after 300 ms of quiet, so any exchange run on the GUI thread
    // would stall it beyond the bound below.
    timings.quietGap = 300ms;
    timings.emptyRead = 600ms;
    PortResolver ports(sim.dir(), timings, sim.dir() + "/no-devices");
    ModalAnswerer answers;
    Application app(ports, SystemClock::instance());
    ASSERT_TRUE(app.startUp());
    app.cycle().setReconnectTimings({{100ms, 200ms}, 300ms});
    MainWindow* frame = app.mainWindow();
    const QLabel* pane = frame->linkPane();
    auto paneShows = [pane](const char* start) { return pane->text().startsWith(start); };

    ASSERT_TRUE(runUntil([&] { return paneShows("Com1, last sample "); }, 15s))
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
    ASSERT_TRUE(runUntil([&] { return paneShows("No device, next attempt "); }, 15s))
        << pane->text().toStdString();
    runUntil([] { return false; }, 1s);  // attempts at the vanished port, and full probes
    SimProcess again(sim.dir());
    ASSERT_TRUE(again.start({"--baud", "0"}));
    sinceLast.restart();
    const int64_t lost = app.state().lastGoodSample;
    ASSERT_TRUE(runUntil([&] { return app.state().lastGoodSample > lost; }, 15s));
    ASSERT_TRUE(runUntil([&] { return paneShows("Com1, last sample "); }, 1s))
        << pane->text().toStdString();
    heartbeat.stop();
    // Any serial exchange on this thread would last at least one quiet gap (300 ms); the
    // bound leaves room for a loaded machine's scheduling without letting such a wait through.
    EXPECT_LT(longestStall, 200);

    ASSERT_TRUE(frame->executeCommand(ID_DISCONNECT));
    ASSERT_TRUE(runUntil([&] { return pane->text() == "Disconnected"; }, 2s))
        << pane->text().toStdString();

    // The setting: on by default, switched off from the menu and kept in kelvo.ini.
    EXPECT_TRUE(frame->commandState(ID_RECONNECT_AUTO).checked);
    ASSERT_TRUE(frame->executeCommand(ID_RECONNECT_AUTO));
    EXPECT_FALSE(frame->commandState(ID_RECONNECT_AUTO).checked);
    EXPECT_FALSE(app.cycle().autoReconnect());
    std::ifstream ini("kelvo.ini");
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_NE(text.str().find("[link]\nreconnect=false\n"), std::string::npos) << text.str();
    app.shutDown();
}
