#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDockWidget>
#include <QImage>
#include <QMdiArea>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "core/acquisition/Recorder.h"
#include "core/store/DataFile.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/QtTestApp.h"
#include "support/ScriptedMeter.h"
#include "support/ShellFixture.h"
#include "ui/framework/Command.h"
#include "ui/framework/WindowKind.h"
#include "ui/realtime/LiveListView.h"
#include "ui/realtime/PowerChartView.h"
#include "ui/realtime/RealTimeDocument.h"
#include "ui/realtime/RealTimeWindow.h"
#include "ui/shell/RecorderSignals.h"
#include "ui/shell/WindowKinds.h"

namespace {

using namespace std::chrono_literals;

constexpr int64_t kNow = 1'700'000'000;  // 2023-11-14 22:13:20 UTC

// The real-time window kind in an MDI area, over a recorder in a private directory whose
// signals reach the window as the shell wires them: the tables as a document update, the
// sample to the document.
class RealTimeWindowTest : public ::testing::Test {
protected:
    RealTimeWindowTest() : recorder(ports, messages, clock) {
        setenv("TZ", "UTC", 1);
        tzset();
        char dirTemplate[] = "/tmp/kelvo-realtime-XXXXXX";
        dir = mkdtemp(dirTemplate);
        recorder.loadConfig(dir);  // no file: the defaults
        ChannelTable names = recorder.channels();
        for (int k = kFirstLoad; k <= kLastLoad; ++k) std::snprintf(names[k].name, 64, "Load%d", k);
        recorder.setChannelNames(names);
        recorder.setListener(&relay);
        QObject::connect(&relay, &RecorderSignals::tablesChanged, &area, [this] {
            if (document) document->updateAllViews(nullptr);
        });
        QObject::connect(&relay, &RecorderSignals::sampleRecorded, &area,
                         [this](SampleOrigin origin) {
                             ++samplesSeen;
                             if (document) document->showSample(origin);
                         });
        recorder.start(std::chrono::hours(1));  // the tests drive the ticks
        kind.reset(makeRealTimeKind(recorder, {}, nullptr));
        area.resize(1000, 800);
        area.show();
    }

    ~RealTimeWindowTest() override {
        kind->closeAllDocuments();
        recorder.stop();
        std::filesystem::remove_all(dir);
    }

    void open() {
        document = qobject_cast<RealTimeDocument*>(kind->openDocument(&area));
        ASSERT_NE(document, nullptr);
        frame = qobject_cast<RealTimeWindow*>(WindowKind::windowsOf(document).value(0));
        ASSERT_NE(frame, nullptr);
        frame->resize(900, 700);
        QApplication::processEvents();
    }

    // A saved store whose last `count` samples of `ring` read `watts`, ending now.
    void saveStore(int ring, int count, int32_t watts) {
        auto image = std::make_unique<SampleStore>();
        for (int slot = 0; slot < count; ++slot) image->samples[ring][slot] = watts;
        image->count = image->writeIndex = static_cast<uint16_t>(count);
        image->startTime = static_cast<int32_t>(clock.now() - 5 * count);
        ASSERT_TRUE(DataFile::save(dir + "/dast.data", DayTable{}, MonthTable{}, *image));
    }

    // Connect to a scripted meter on port 1.
    void openMeter() {
        meter = std::make_unique<ScriptedMeter>(ports, 1);
        recorder.connect();
        ASSERT_TRUE(runEventsUntil([&] { return recorder.linkOpen() && !recorder.probing(); }, 5s));
    }

    // One tick of the recorder, and its sample seen by the window.
    void tick() {
        const int seen = samplesSeen;
        recorder.tickNow();
        ASSERT_TRUE(runEventsUntil([&] { return samplesSeen > seen; }, 5s));
    }

    QTreeWidgetItem* treeItem(const QString& label) const {
        const auto found =
            frame->channelTree()->findItems(label, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }

    QString powerCell(int row) const { return frame->listView()->list()->item(row, 1)->text(); }

    CommandState commandState(Command id) const {
        return CommandRoute::update({frame->listView(), document, frame}, id);
    }

    QApplication& app = qtTestApp();  // before any widget member
    std::string dir;
    ScriptedPortOpener ports;
    RecordingMessageSink messages;
    FakeClock clock{kNow};
    RecorderSignals relay;  // outlives the recorder that calls it
    QMdiArea area;
    Recorder recorder;
    std::unique_ptr<ScriptedMeter> meter;
    int samplesSeen = 0;
    std::unique_ptr<WindowKind> kind;
    RealTimeDocument* document = nullptr;
    RealTimeWindow* frame = nullptr;
};

TEST_F(RealTimeWindowTest, Window_TreeLeftChartAboveListListActive) {
    open();
    EXPECT_EQ(frame->windowTitle(), "Real Time");
    EXPECT_EQ(frame->activeView(), frame->listView());
    EXPECT_EQ(frame->chartView()->height(), RealTimeWindow::kChartHeight);
    EXPECT_GT(frame->listView()->height(), 0);
    EXPECT_EQ(frame->splitter()->widget(0), frame->chartView());

    // The chart keeps its 280 pixels when the window grows; the list takes the rest.
    const int listBefore = frame->listView()->height();
    frame->resize(900, 800);
    QApplication::processEvents();
    EXPECT_EQ(frame->chartView()->height(), RealTimeWindow::kChartHeight);
    EXPECT_EQ(frame->listView()->height(), listBefore + 100);

    QWidget* bar = frame->channelBar()->widget();
    EXPECT_EQ(frame->channelTree()->geometry(), QRect(10, 20, 165, bar->height() - 40));
    QTreeWidget* tree = frame->channelTree();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 14);
    EXPECT_TRUE(tree->selectedItems().isEmpty());
    EXPECT_EQ(document->selectedChannel(), 16);
    EXPECT_TRUE(frame->chartView()->chart().allChannels());

    // Dotted lines left of the items: to "Total" at the root, to "14 Solar" below it.
    const QImage lines = tree->viewport()->grab().toImage();
    const QRgb dot = tree->palette().color(QPalette::Dark).rgb();
    for (QTreeWidgetItem* item : {tree->topLevelItem(1), tree->topLevelItem(0)->child(13)}) {
        const QRect row = tree->visualItemRect(item);
        int dots = 0;
        for (int y = row.top(); y <= row.bottom(); ++y)
            for (int x = 0; x < row.left(); ++x) dots += lines.pixel(x, y) == dot;
        EXPECT_GE(dots, 5) << item->text(0).toStdString();
    }
}

TEST_F(RealTimeWindowTest, TreeSelection_StoresItemDataAndShowsStoredSamplesAtOnce) {
    saveStore(kSolarRecord, 100, 40);
    open();
    struct Case {
        const char* label;
        int data;
        const char* title;
    };
    for (const Case c : {
             Case{"14 Solar", 15, "The Channel 14 Real-Time Power (Watt)"},
             Case{"03 Load3", 3, "The Channel 03 Real-Time Power (Watt)"},
             Case{"Total", 0, "The Channel Total Real-Time Power (Watt)"},
             Case{"All channel", 16, "The All Channels Real-Time Power (Watt)"},
         }) {
        QTreeWidgetItem* item = treeItem(c.label);
        ASSERT_NE(item, nullptr) << c.label;
        frame->channelTree()->setCurrentItem(item);
        EXPECT_EQ(document->selectedChannel(), c.data) << c.label;
        EXPECT_EQ(frame->chartView()->chart().labels(kNow).front().text, c.title);
    }

    // Solar's stored samples show without waiting for a sample, the link being closed.
    frame->channelTree()->setCurrentItem(treeItem("14 Solar"));
    const auto& series = frame->chartView()->chart().series();
    ASSERT_EQ(series.size(), 720u);
    EXPECT_EQ(series.back(), 40u);
    EXPECT_EQ(series[series.size() - 100], 40u);
    EXPECT_EQ(series[series.size() - 101], 0u);
}

TEST_F(RealTimeWindowTest, ScopeCommands_SetTheIndexMoveTheCheckMarkAndReload) {
    open();
    frame->channelTree()->setCurrentItem(treeItem("Total"));
    ASSERT_TRUE(CommandRoute::execute({frame->listView(), document, frame}, Command::Scope6Hours));
    EXPECT_EQ(recorder.config().scopeIndex, 6);
    EXPECT_EQ(frame->chartView()->chart().sampleCount(), 4320);
    for (int i = 0; i < kScopeCommands; ++i)
        EXPECT_EQ(commandState(scopeCommand(i)).checked, i == 6) << i;

    ASSERT_TRUE(CommandRoute::execute({frame->listView(), document, frame}, Command::Scope1Minute));
    EXPECT_EQ(frame->chartView()->chart().sampleCount(), 12);
    EXPECT_TRUE(commandState(Command::Scope1Minute).checked);
    EXPECT_FALSE(commandState(Command::Scope6Hours).checked);
}

TEST_F(RealTimeWindowTest, ConnectAndDisconnect_EnabledByTheLinkState) {
    open();
    EXPECT_TRUE(commandState(Command::Connect).enabled);
    EXPECT_FALSE(commandState(Command::Disconnect).enabled);
    openMeter();
    EXPECT_FALSE(commandState(Command::Connect).enabled);
    EXPECT_TRUE(commandState(Command::Disconnect).enabled);
    ASSERT_TRUE(CommandRoute::execute({frame->listView(), document, frame}, Command::Disconnect));
    EXPECT_FALSE(recorder.linkOpen());
    EXPECT_TRUE(commandState(Command::Connect).enabled);
    EXPECT_FALSE(commandState(Command::Disconnect).enabled);
    // With the chart pane active the commands still have a handler on the route.
    EXPECT_TRUE(
        CommandRoute::update({frame->chartView(), document, frame}, Command::Connect).enabled);
}

TEST_F(RealTimeWindowTest, LiveList_RowsFollowTheSamplesAndKeepTheirLastValues) {
    open();
    QTableWidget* list = frame->listView()->list();
    ASSERT_EQ(list->rowCount(), 16);
    EXPECT_EQ(list->item(6, 2)->text(), "Load3");
    EXPECT_EQ(list->rowHeight(0), 20);

    // A sample from the meter: the rows and the chart (all channels) take it.
    openMeter();
    meter->setPower(kConsumptionRecord, 3000);
    meter->setPower(kSolarRecord, 1200);
    meter->setPower(1, 700);
    tick();
    EXPECT_EQ(powerCell(0), "3000");
    EXPECT_EQ(powerCell(1), "1200");
    EXPECT_EQ(powerCell(2), "-1800");
    EXPECT_EQ(powerCell(3), "700");  // Total: the sum of the loads
    EXPECT_EQ(powerCell(4), "700");
    EXPECT_EQ(frame->chartView()->chart().series()[12], 3000u);
    EXPECT_EQ(frame->chartView()->chart().fullScale(), 3200);

    // After the user's Disconnect the ticks record zeros, and the list keeps what it shows.
    recorder.disconnect();
    tick();
    EXPECT_EQ(powerCell(0), "3000");
    EXPECT_EQ(powerCell(2), "-1800");

    // The tick during which the meter's link was lost: every row shows 0, the chart keeps
    // what the meter sent.
    openMeter();
    meter->unplug();
    tick();
    for (int row = 0; row < 16; ++row) EXPECT_EQ(powerCell(row), "0") << row;
    EXPECT_FALSE(recorder.linkOpen());
    EXPECT_EQ(frame->chartView()->chart().series()[12], 3000u);
}

TEST_F(RealTimeWindowTest, RefreshChannelNames_RelabelsTreeChildrenAndListNames) {
    open();
    ChannelTable names = recorder.channels();
    std::strcpy(names[3].name, "Pump");
    names[7].name[0] = '\0';
    std::strcpy(names[kConsumptionRecord].name, "House");
    std::strcpy(names[kTotalRecord].name, "Everything");
    recorder.setChannelNames(names);
    frame->refreshChannelNames();
    QTreeWidgetItem* all = frame->channelTree()->topLevelItem(0);
    EXPECT_EQ(all->child(2)->text(0), "03 Pump");
    EXPECT_EQ(all->child(6)->text(0), "07 ");
    EXPECT_EQ(all->child(12)->text(0), "13 House");
    EXPECT_EQ(all->child(13)->text(0), "14 Solar");
    EXPECT_EQ(frame->channelTree()->topLevelItem(1)->text(0), "Total");
    QTableWidget* list = frame->listView()->list();
    EXPECT_EQ(list->item(6, 2)->text(), "Pump");
    EXPECT_EQ(list->item(10, 2)->text(), "");
    EXPECT_EQ(list->item(0, 2)->text(), "Consumption");  // fixed word, not the record name
}

TEST_F(RealTimeWindowTest, DataExport_ProposesATimedNameAndWritesOnlyWhenConfirmed) {
    open();
    QString proposed;
    frame->setSavePathPrompt([&](QWidget*, const QString& name) {
        proposed = name;
        return QString();
    });
    ASSERT_TRUE(CommandRoute::execute({frame->listView(), document, frame}, Command::DataExport));
    EXPECT_EQ(proposed, "History_power2023-11-14 22-13-20");
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              0);

    const std::string target = dir + "/chosen export.csv";
    frame->setSavePathPrompt(
        [&](QWidget*, const QString&) { return QString::fromStdString(target); });
    frame->onExportData();
    EXPECT_TRUE(std::filesystem::exists(target));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Real time data already export to file:" + target);
}

}  // namespace
