// Start-up order, the exit sequence (a termination signal during a range export among them)
// and the files a run leaves in its working directory.
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <chrono>
#include <future>

#include "core/archive/ArchiveWriter.h"
#include "core/base/Clock.h"
#include "core/config/DastConfig.h"
#include "fakes/RecordingMessageSink.h"
#include "support/ShellFixture.h"
#include "ui/archive/ArchiveRangeExport.h"
#include "ui/archive/ArchiveWindow.h"
#include "ui/dialogs/ExportIntervalDialog.h"
#include "ui/framework/ChildWindow.h"
#include "ui/framework/Command.h"
#include "ui/framework/WindowKind.h"
#include "ui/shell/Application.h"
#include "ui/shell/ExitRequest.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/TerminationSignals.h"

namespace {

class StartUpExit : public ShellTest {
protected:
    NoPorts m_ports;
};

// A dast.cfg of our own, so the start shows no "Config file missing!".
void writeConfig(uint16_t scopeIndex) {
    DastConfig config = DastConfig::defaults();
    config.scopeIndex = scopeIndex;
    ASSERT_TRUE(saveConfig(config, SystemClock::instance()));
}

DastConfig readConfig() {
    DastConfig config = DastConfig::defaults();
    EXPECT_TRUE(loadConfig(config, SystemClock::instance()));
    return config;
}

}  // namespace

TEST_F(StartUpExit, MissingConfigIsReportedBeforeLoginAndQuitStillWritesConfig) {
    bool logWrittenFirst = false;
    ModalAnswerer answers(
        [](QWidget* w) { return w->metaObject()->className() != QString("LoginDialog"); });
    answers.onSeen = [&](const QString& what) {
        if (what.startsWith("vorn")) logWrittenFirst = readFile("Log.txt") == "Loading Config!\n";
        // Nothing is written before the program ends.
        EXPECT_FALSE(exists("dast.cfg"));
    };
    {
        Application app(m_ports, SystemClock::instance());
        EXPECT_FALSE(app.startUp());
        EXPECT_EQ(app.mainWindow(), nullptr);  // no window after "Quit"
        app.shutDown();
    }
    EXPECT_EQ(answers.seen(), (QStringList{"vorn: Config file missing!", "login"}));
    EXPECT_TRUE(logWrittenFirst);
    ASSERT_TRUE(exists("dast.cfg"));
    EXPECT_EQ(readConfig().scopeIndex, kDefaultScopeIndex);
    EXPECT_FALSE(exists("dast.data"));  // no real-time document was ever opened
    EXPECT_EQ(readFile("Log.txt"), "Loading Config!\n");
}

TEST_F(StartUpExit, StartOpensAllThreeWindowsWithRealTimeMaximisedInFront) {
    writeConfig(kDefaultScopeIndex);
    ModalAnswerer answers;
    Application app(m_ports, SystemClock::instance());
    ASSERT_TRUE(app.startUp());
    EXPECT_EQ(answers.seen(), QStringList{"login"});

    MainWindow* frame = app.mainWindow();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_TRUE(frame->windowTitle().startsWith("Kelvo"));
    QStringList captions;
    for (QMdiSubWindow* w : frame->mdiArea()->subWindowList(QMdiArea::CreationOrder))
        captions << w->windowTitle();
    // Opened real time first, then the two history windows.
    EXPECT_EQ(captions, (QStringList{"Real Time", "History by days", "History by months"}));
    ASSERT_NE(frame->activeChildWindow(), nullptr);
    EXPECT_EQ(frame->activeChildWindow()->windowTitle(), "Real Time");
    EXPECT_TRUE(frame->activeChildWindow()->isMaximized());
    // The command line asked for a file and actions; none of them happened. Nor did Qt's own
    // options: no mirrored layout, no other style.
    EXPECT_EQ(captions.size(), 3);
    EXPECT_FALSE(exists("report.vorn"));
    EXPECT_EQ(QApplication::layoutDirection(), Qt::LeftToRight);
    EXPECT_TRUE(frame->isLeftToRight());
    EXPECT_NE(QApplication::style()->name(), "windows");
    app.shutDown();
}

TEST_F(StartUpExit, ExportIntervalsTheDialogCannotMakeSurviveStartDialogAndExit) {
    struct Case {
        uint32_t interval;
        QStringList boxes;  // hours, minutes, seconds as the dialog opens
        bool ok;            // 3 s: OK refuses it, the user cancels
    };
    for (const Case& c : {Case{3, {"0", "0", "3"}, false}, Case{90000, {"25", "0", "0"}, true}}) {
        SCOPED_TRACE(c.interval);
        DastConfig config = DastConfig::defaults();
        config.exportInterval = c.interval;
        config.firstLoadTime = 1'700'000'000;  // a zero one would be set at the start
        ASSERT_TRUE(saveConfig(config, SystemClock::instance()));
        const std::string before = readFile("dast.cfg");

        QStringList shown;
        ModalAnswerer answers([&](QWidget* w) {
            auto* dialog = qobject_cast<ExportIntervalDialog*>(w);
            if (!dialog) return true;
            for (auto field : {ExportIntervalEditor::Hours, ExportIntervalEditor::Minutes,
                               ExportIntervalEditor::Seconds})
                shown << dialog->box(field)->text();
            return c.ok;
        });
        Application app(m_ports, SystemClock::instance());
        ASSERT_TRUE(app.startUp());
        ASSERT_TRUE(app.mainWindow()->executeCommand(Command::ExportInterval));
        EXPECT_EQ(shown, c.boxes);
        EXPECT_EQ(app.recorder().config().exportInterval, c.interval);
        app.shutDown();

        // Byte for byte, but for the time of the save: lastSaveTime, 10 bytes from the end
        // of a file without extra data.
        std::string after = readFile("dast.cfg");
        ASSERT_EQ(after.size(), before.size());
        ASSERT_TRUE(config.extraData.empty());
        after.replace(after.size() - 10, 4, before, before.size() - 10, 4);
        EXPECT_EQ(after, before);
    }
}

TEST_F(StartUpExit, ExitClosesDocumentsAndWritesConfigAndDataWithOneLogLine) {
    writeConfig(kDefaultScopeIndex);
    {  // A log from an earlier run is emptied, not appended to.
        std::FILE* old = std::fopen("Log.txt", "w");
        std::fputs("Loading Config!\nsomething older\n", old);
        std::fclose(old);
    }
    ModalAnswerer answers;
    Application app(m_ports, SystemClock::instance());
    ASSERT_TRUE(app.startUp());
    MainWindow* frame = app.mainWindow();
    ASSERT_TRUE(frame->executeCommand(Command::Scope6Hours));  // real-time window in front

    // A core thread waiting on a box is let go before the first document closes: closing the
    // real-time document waits for the tick in progress, which may be that very thread.
    std::future<void> waiting;
    bool letGo = false;
    QObject::connect(app.historyByDaysKind(), &WindowKind::documentsChanged, [&] {
        if (waiting.valid()) return;
        waiting = std::async(std::launch::async,
                             [&] { app.recorder().messages().show("Create file error!"); });
        letGo = waiting.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    });
    EXPECT_TRUE(frame->executeCommand(Command::Exit));
    EXPECT_TRUE(letGo);
    EXPECT_TRUE(app.recorder().closing());
    EXPECT_TRUE(frame->mdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(exists("dast.data"));  // the real-time document saved on close
    EXPECT_EQ(app.shutDown(7), 7);

    EXPECT_EQ(readConfig().scopeIndex, 6);
    EXPECT_EQ(readFile("Log.txt"), "Loading Config!\n");
    EXPECT_TRUE(answers.seen() == QStringList{"login"});
}

TEST_F(StartUpExit, EndOfTheRunDuringALargeRangeExportCancelsItAndExitsCleanly) {
    writeConfig(kDefaultScopeIndex);
    // Twenty days of samples every 5 s in the archive at its default place: some 38 MB of
    // text, far longer to write than the end takes to arrive.
    const int64_t juneFirst = QDateTime(QDate(2026, 6, 1), QTime(0, 0)).toSecsSinceEpoch();
    {
        RecordingMessageSink messages;
        ArchiveWriter writer(messages, SystemClock::instance());
        writer.configure({true, "kelvo-archive.sqlite", 0}, m_dir.string());
        MeterSample first;
        first.time = juneFirst;
        writer.onMeterSample(first);
        writer.waitIdle();
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open("kelvo-archive.sqlite", &db), SQLITE_OK);
    const std::string fill = "WITH RECURSIVE t(x) AS (SELECT " + std::to_string(juneFirst + 5) +
                             " UNION ALL SELECT x + 5 FROM t WHERE x < " +
                             std::to_string(juneFirst + 20 * 86400 - 5) +
                             ") INSERT INTO power(time, total, ch01) SELECT x, 1234, 1234 FROM t";
    EXPECT_EQ(sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    // A termination signal, and a quit from elsewhere that ends every loop at once (as when
    // the session manager ends the program).
    for (const bool bySignal : {true, false}) {
        SCOPED_TRACE(bySignal ? "termination signal" : "quit");
        Application app(m_ports, SystemClock::instance());
        {
            ModalAnswerer answers;
            ASSERT_TRUE(app.startUp());
        }
        app.showArchive();
        Document* archive = app.archiveKind()->firstDocument();
        ASSERT_NE(archive, nullptr);
        auto* window = qobject_cast<ArchiveWindow*>(WindowKind::windowsOf(archive).value(0));
        ASSERT_NE(window, nullptr);
        window->setRangePrompt([&](QWidget*, const QDate&) {
            return std::optional<RangeChoice>(
                RangeChoice{QDate(2026, 6, 1), QDate(2026, 6, 20), 5, QStringLiteral("range.csv")});
        });

        // The run as main wires it; the end comes as soon as the export is writing.
        QObject::connect(&app, &Application::mainWindowClosed, qApp, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        TerminationSignals termination([&](int) { endRunOnRequest(app); });
        bool sent = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (sent || !exists("range.csv.part")) return;
            sent = true;
            if (bySignal)
                ::kill(::getpid(), SIGTERM);
            else
                QCoreApplication::quit();
        });
        watch.start(5);
        const QPointer<ArchiveWindow> guard(window);
        bool outlived = false;
        QTimer::singleShot(0, window, [&] {
            window->onExportRange();
            outlived = !guard.isNull();
        });
        QTimer::singleShot(120'000, qApp, [] { QCoreApplication::exit(3); });  // never ended
        const int code = QApplication::exec();
        watch.stop();
        EXPECT_TRUE(sent);
        EXPECT_EQ(code, 0);
        EXPECT_FALSE(rangeExportRunning());
        // The windows closed from the main loop once the export's own loop had ended, never
        // from inside it, under the export's feet.
        EXPECT_TRUE(outlived);
        EXPECT_TRUE(app.mainWindow()->mdiArea()->subWindowList().isEmpty());
        EXPECT_EQ(app.shutDown(code), 0);
        // Cancelled, not finished: nothing under either name.
        EXPECT_FALSE(exists("range.csv"));
        EXPECT_FALSE(exists("range.csv.part"));
        EXPECT_TRUE(exists("dast.data"));
    }
}

TEST_F(StartUpExit, SecondWindowCommandOnlyActivatesAndReopensAfterClose) {
    writeConfig(kDefaultScopeIndex);
    ModalAnswerer answers;
    Application app(m_ports, SystemClock::instance());
    ASSERT_TRUE(app.startUp());
    MainWindow* frame = app.mainWindow();
    QMdiArea* area = frame->mdiArea();

    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(frame->executeCommand(Command::HistoryByDays));
        EXPECT_EQ(area->subWindowList().size(), 3);
        ASSERT_NE(frame->activeChildWindow(), nullptr);
        EXPECT_EQ(frame->activeChildWindow()->windowTitle(), "History by days");
        EXPECT_TRUE(frame->activeChildWindow()->isMaximized());
        // In front, its own button is grey; pressing it again changes nothing.
        EXPECT_FALSE(frame->commandState(Command::HistoryByDays).enabled);
        EXPECT_FALSE(frame->executeCommand(Command::HistoryByDays));
        EXPECT_EQ(area->subWindowList().size(), 3);

        // Close it: the command opens a new one.
        frame->activeChildWindow()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(area->subWindowList().size(), 2);
        EXPECT_EQ(app.historyByDaysKind()->documents().size(), 0);
        ASSERT_TRUE(frame->commandState(Command::HistoryByDays).enabled);
    }
    app.shutDown();
}

TEST_F(StartUpExit, ClosingTheRealTimeWindowSavesDataAndReopeningLoadsIt) {
    writeConfig(kDefaultScopeIndex);
    ModalAnswerer answers;
    Application app(m_ports, SystemClock::instance());
    ASSERT_TRUE(app.startUp());
    MainWindow* frame = app.mainWindow();
    ASSERT_NE(app.firstRealTimeDocument(), nullptr);
    EXPECT_TRUE(app.recorder().recording());

    frame->activeChildWindow()->close();  // the real-time window
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app.firstRealTimeDocument(), nullptr);
    EXPECT_FALSE(app.recorder().recording());
    EXPECT_TRUE(exists("dast.data"));

    ASSERT_TRUE(frame->executeCommand(Command::RealTime));
    ASSERT_NE(app.firstRealTimeDocument(), nullptr);
    EXPECT_TRUE(app.recorder().recording());
    EXPECT_EQ(frame->activeChildWindow()->windowTitle(), "Real Time");
    app.shutDown();
}
