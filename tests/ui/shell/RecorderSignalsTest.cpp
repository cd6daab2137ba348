#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <thread>
#include <vector>

#include "core/base/Clock.h"
#include "core/config/DastConfig.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/ScriptedMeter.h"
#include "support/ShellFixture.h"
#include "ui/realtime/PowerChartView.h"
#include "ui/realtime/RealTimeWindow.h"
#include "ui/shell/Application.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/RecorderSignals.h"

using namespace std::chrono_literals;

namespace {

class RecorderSignalsTest : public ShellTest {};

// The recorder calls from its own threads; what the windows receive arrives on the GUI thread,
// in the order it was told, and nothing reaches a receiver that is gone.
TEST_F(RecorderSignalsTest, CallsFromOtherThreadsArriveInOrderAndStopWithTheReceiver) {
    RecorderSignals relay;
    auto* receiver = new QObject;
    std::vector<int> seen;  // 0 tables, 1 sample from the meter, 2 link
    QObject::connect(&relay, &RecorderSignals::tablesChanged, receiver, [&] { seen.push_back(0); });
    QObject::connect(&relay, &RecorderSignals::sampleRecorded, receiver,
                     [&](SampleOrigin origin) { seen.push_back(origin == SampleOrigin::Meter); });
    QObject::connect(&relay, &RecorderSignals::linkChanged, receiver, [&] { seen.push_back(2); });
    std::thread worker([&relay] {
        for (int i = 0; i < 50; ++i) {
            relay.onTablesChanged();
            relay.onSampleRecorded(SampleOrigin::Meter);
        }
        relay.onLinkChanged();
    });
    worker.join();
    EXPECT_TRUE(seen.empty());  // queued, not called on the recorder's thread
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(seen.size(), 101u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i % 2) << i;
    EXPECT_EQ(seen.back(), 2);

    delete receiver;
    std::thread late([&relay] { relay.onSampleRecorded(SampleOrigin::Meter); });
    late.join();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(seen.size(), 101u);
}

// In the program, each poll of the meter arrives as new tables and then its sample: the chart
// (1.1 MB copied and a series loaded) takes them in once.
TEST_F(RecorderSignalsTest, OneChartReloadPerSampleFromTheMeter) {
    DastConfig config = DastConfig::defaults();
    ASSERT_TRUE(saveConfig(config, SystemClock::instance()));
    ScriptedPortOpener ports;
    ScriptedMeter meter(ports, 1);
    ModalAnswerer answers;
    Application app(ports, SystemClock::instance());
    ASSERT_TRUE(app.startUp());
    auto* window = qobject_cast<RealTimeWindow*>(app.mainWindow()->activeChildWindow());
    ASSERT_NE(window, nullptr);
    Recorder& recorder = app.recorder();
    ASSERT_TRUE(runEventsUntil([&] { return recorder.linkOpen() && !recorder.probing(); }, 5s));

    // The chart's reloads as each sample has been taken in: between two of them lie the next
    // poll's tables and its sample, whenever the counting began (the program's own 5-second
    // ticks may add polls).
    std::vector<int> reloads;
    QObject::connect(&app.recorderSignals(), &RecorderSignals::sampleRecorded, &app,
                     [&](SampleOrigin origin) {
                         if (origin == SampleOrigin::Meter)
                             reloads.push_back(window->chartView()->reloads());
                     });
    while (reloads.size() < 4) {
        const size_t seen = reloads.size();
        recorder.tickNow();
        ASSERT_TRUE(runEventsUntil([&] { return reloads.size() > seen; }, 5s));
    }
    for (size_t i = 1; i < reloads.size(); ++i) EXPECT_EQ(reloads[i] - reloads[i - 1], 1) << i;
    app.shutDown();
}

}  // namespace
