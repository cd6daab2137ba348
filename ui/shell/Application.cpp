#include "ui/shell/Application.h"

#include <QApplication>
#include <QIcon>
#include <QMdiArea>
#include <QScreen>

#include "core/archive/ArchiveWriter.h"
#include "core/publish/Publisher.h"
#include "ui/dialogs/DialogCommands.h"
#include "ui/framework/ChildWindow.h"
#include "ui/framework/Command.h"
#include "ui/framework/PrinterSetup.h"
#include "ui/framework/View.h"
#include "ui/framework/WindowKind.h"
#include "ui/realtime/RealTimeDocument.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SettingsCommands.h"
#include "ui/shell/StatusBarText.h"
#include "ui/shell/WindowKinds.h"

static void initResources() { Q_INIT_RESOURCE(icons); }

Application::Application(SerialPorts& ports, Clock& clock) : m_recorder(ports, m_messages, clock) {
    initResources();
    m_archive = std::make_unique<ArchiveWriter>(m_messages, clock);
    m_publisher = std::make_unique<Publisher>([this](int channel, bool on, std::string& outcome) {
        return m_recorder.switchOneChannel(channel, on, outcome);
    });
    m_recorder.addSampleSink(m_archive.get());
    m_recorder.addSampleSink(m_publisher.get());
    m_recorder.setListener(&m_signals);
    m_settings = std::make_unique<SettingsCommands>(
        m_recorder, *m_archive, *m_publisher, m_messages, [this] { return m_mainWindow.get(); });
    m_statusBarText = std::make_unique<StatusBarText>(m_recorder, *m_archive, *m_publisher);

    // Every poll of the meter brings new tables for every window: the real-time chart's one
    // reload per sample comes with them, so a lost link, which brings none, leaves the chart
    // showing what the meter sent. Each recorded sample goes to the real-time window's list.
    connect(&m_signals, &RecorderSignals::tablesChanged, this, &Application::updateAllWindows);
    connect(&m_signals, &RecorderSignals::sampleRecorded, this, [this](SampleOrigin origin) {
        if (RealTimeDocument* document = firstRealTimeDocument()) document->showSample(origin);
    });

    onCommand(Command::HistoryByDays, [this] { showHistoryByDays(); });
    onCommand(Command::HistoryByMonths, [this] { showHistoryByMonths(); });
    onCommand(Command::RealTime, [this] { showRealTime(); });
    onCommand(Command::Archive, [this] { showArchive(); });
    // The button of the window in front is grey, the other three are live.
    auto kindState = [this](WindowKind* const Application::*kind) {
        return [this, kind](CommandState& ui) {
            WindowKind* windowKind = this->*kind;
            if (!windowKind) {
                ui.enabled = false;
                return;
            }
            ui.enabled = true;
            Document* document = windowKind->firstDocument();
            View* view = document ? document->firstView() : nullptr;
            if (view && m_mainWindow && view->childWindow() &&
                view->childWindow() == m_mainWindow->activeChildWindow())
                ui.enabled = false;
        };
    };
    onUpdate(Command::HistoryByDays, kindState(&Application::m_daysKind));
    onUpdate(Command::HistoryByMonths, kindState(&Application::m_monthsKind));
    onUpdate(Command::RealTime, kindState(&Application::m_realTimeKind));
    onUpdate(Command::Archive, kindState(&Application::m_archiveKind));

    onCommand(Command::About, [this] { runAboutDialog(m_recorder, m_mainWindow.get()); });
    onCommand(Command::PrintSetup, [this] { runPrinterSetup(m_mainWindow.get(), m_messages); });
    onCommand(Command::Exit, [this] {
        if (m_mainWindow) m_mainWindow->close();
    });
}

Application::~Application() {
    shutDown();
    m_recorder.stop();
    // Documents whose windows are already gone (a main window destroyed without closing).
    for (WindowKind* kind : {m_daysKind, m_monthsKind, m_realTimeKind, m_archiveKind}) {
        if (kind) kind->closeAllDocuments();
    }
}

bool Application::startUp() {
    // Every window of the program, child windows and boxes included, carries its icon.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kelvo.png")));
    m_recorder.writeLog("Loading Config!");
    if (!m_recorder.loadConfig()) m_messages.show("Config file missing!");
    if (!runLoginDialog(m_recorder)) return false;
    m_settings->load();

    registerWindowKinds();

    m_mainWindow = std::make_unique<MainWindow>(*this, [this] { closeAll(); });
    m_recorder.start();
    connect(m_mainWindow.get(), &MainWindow::closed, this, &Application::mainWindowClosed);

    // The command line never reaches this far: main hands Qt the program name alone.

    for (WindowKind* kind : {m_realTimeKind, m_daysKind, m_monthsKind})
        kind->openDocument(m_mainWindow->mdiArea());

    showRealTime();
    if (ChildWindow* active = m_mainWindow->activeChildWindow()) active->showMaximized();
    // Maximising is the window manager's job; without one (a bare X server) the frame
    // would keep its default size, so it starts out covering the screen's work area.
    if (QScreen* screen = m_mainWindow->screen())
        m_mainWindow->setGeometry(screen->availableGeometry());
    m_mainWindow->showMaximized();
    m_mainWindow->updateCommandStates();
    m_mainWindow->repaint();
    return true;
}

int Application::shutDown(int exitCode) {
    if (m_exited) return exitCode;
    m_exited = true;
    if (m_mainWindow) {
        m_mainWindow->close();  // the close request, if nobody has made it yet
        // Whatever became of the close request, no core thread outlives the windows.
        stopCycle();
        m_mainWindow.reset();
    }
    m_recorder.saveConfig();
    m_recorder.closeLog();
    return exitCode;
}

void Application::closeAll() {
    if (m_cycleStopped) return;
    m_recorder.setClosing();
    // Stop the rhythm before the documents go, so no tick runs on a recording being closed;
    // what the last tick recorded is in the data file the close writes.
    stopCycle();
    for (WindowKind* kind : {m_daysKind, m_monthsKind, m_realTimeKind, m_archiveKind}) {
        if (kind) kind->closeAllDocuments();
    }
}

void Application::stopCycle() {
    // No box may keep a core thread waiting while this thread joins it.
    m_messages.release();
    if (!m_cycleStopped) m_recorder.stop();
    m_cycleStopped = true;
}

void Application::registerWindowKinds() {
    m_daysKind = makeHistoryByDaysKind(m_recorder, this);
    m_monthsKind = makeHistoryByMonthsKind(m_recorder, this);
    // Opening the real-time window starts recording and connects: the desktop program
    // records while that window is open.
    m_realTimeKind = makeRealTimeKind(
        m_recorder, [this] { m_recorder.connect(); }, this);
    m_archiveKind = makeArchiveKind(
        m_recorder, [this] { return archivePath(); }, this);
}

void Application::saveNow() {
    m_recorder.saveConfig();
    if (firstRealTimeDocument()) m_recorder.saveDataFile();
}

std::string Application::archivePath() const {
    return m_settings->settings().archive.path(m_recorder.workingDirectory());
}

void Application::showKind(WindowKind* kind) {
    if (!kind || !m_mainWindow) return;
    Document* document = kind->firstDocument();
    if (!document) {
        kind->openDocument(m_mainWindow->mdiArea());
        m_mainWindow->updateCommandStates();
        return;
    }
    View* view = document->firstView();
    ChildWindow* frame = view ? view->childWindow() : nullptr;
    if (!frame) return;
    m_mainWindow->mdiArea()->setActiveSubWindow(frame);
    frame->showMaximized();
    m_mainWindow->updateCommandStates();
}

void Application::showHistoryByDays() { showKind(m_daysKind); }

void Application::showHistoryByMonths() { showKind(m_monthsKind); }

void Application::showRealTime() { showKind(m_realTimeKind); }

void Application::showArchive() { showKind(m_archiveKind); }

void Application::updateAllWindows() {
    // The archive window shows a stored day, not the poll: it has nothing to take in here.
    for (WindowKind* kind : {m_daysKind, m_monthsKind, m_realTimeKind}) {
        if (!kind) continue;
        if (Document* document = kind->firstDocument()) document->updateAllViews(nullptr);
    }
}

RealTimeDocument* Application::firstRealTimeDocument() const {
    return m_realTimeKind ? static_cast<RealTimeDocument*>(m_realTimeKind->firstDocument())
                          : nullptr;
}
