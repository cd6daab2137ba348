#include "ui/shell/Application.h"

#include <QApplication>
#include <QDateTime>
#include <QIcon>
#include <QMdiArea>
#include <QScreen>

#include "core/acquisition/ChannelSwitchRequest.h"
#include "core/acquisition/SamplingCycle.h"
#include "core/archive/ArchiveWriter.h"
#include "core/base/CrashSafeFile.h"
#include "core/base/FilePath.h"
#include "core/publish/Publisher.h"
#include "ui/dialogs/ArchiveSettingsDialog.h"
#include "ui/dialogs/DialogCommands.h"
#include "ui/dialogs/PublishSettingsDialog.h"
#include "ui/framework/ChildWindow.h"
#include "ui/framework/Command.h"
#include "ui/framework/PrinterSetup.h"
#include "ui/framework/View.h"
#include "ui/framework/WindowKind.h"
#include "ui/realtime/RealTimeDocument.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/WindowKinds.h"

static void initResources() { Q_INIT_RESOURCE(icons); }

Application::Application(SerialPorts& ports, Clock& clock) : m_state(ports, m_messages, clock) {
    initResources();
    m_archive = std::make_unique<ArchiveWriter>(m_messages, clock);
    m_state.sampleSinks.push_back(m_archive.get());
    m_publisher = std::make_unique<Publisher>([this](int channel, bool on, std::string& outcome) {
        return switchOneChannel(m_state.link, channel, on, outcome);
    });
    m_state.sampleSinks.push_back(m_publisher.get());
    // The timer thread asks for the first real-time document; it reads a copy kept here
    // rather than the GUI thread's document lists.
    m_cycle = std::make_unique<SamplingCycle>(m_state, [this] { return m_firstRecording.load(); });

    onCommand(Command::HistoryByDays, [this] { showHistoryByDays(); });
    onCommand(Command::HistoryByMonths, [this] { showHistoryByMonths(); });
    onCommand(Command::RealTime, [this] { showRealTime(); });
    onCommand(Command::Archive, [this] { showArchive(); });
    // The button of the window in front is grey, the other two are live.
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
    onCommand(Command::PublishSettings, [this] {
        if (!runPublishSettingsDialog(m_settings.mqtt, m_mainWindow.get())) return;
        m_publisher->configure(m_settings.mqtt);
        saveSettings();
    });
    onCommand(Command::ArchiveSettings, [this] {
        if (!runArchiveSettingsDialog(m_settings.archive, m_mainWindow.get())) return;
        m_archive->configure(m_settings.archive, m_state.config.appDir);
        saveSettings();
    });

    onCommand(Command::ReconnectAutomatically, [this] {
        m_settings.link.reconnect = !m_settings.link.reconnect;
        m_cycle->setAutoReconnect(m_settings.link.reconnect);
        saveSettings();
    });
    onUpdate(Command::ReconnectAutomatically, [this](CommandState& ui) {
        ui.enabled = true;
        ui.checked = m_settings.link.reconnect;
    });

    onCommand(Command::About, [this] { runAboutDialog(m_state, m_mainWindow.get()); });
    onCommand(Command::PrintSetup,
              [this] { runPrinterSetup(m_mainWindow.get(), m_state.messages); });
    onCommand(Command::Exit, [this] {
        if (m_mainWindow) m_mainWindow->close();
    });
}

Application::~Application() {
    shutDown();
    // Documents whose windows are already gone (a main window destroyed without closing).
    for (WindowKind* kind : {m_daysKind, m_monthsKind, m_realTimeKind, m_archiveKind}) {
        if (kind) kind->closeAllDocuments();
    }
    m_firstRecording = nullptr;
    m_cycle.reset();
}

bool Application::startUp() {
    // Every window of the program, child windows and boxes included, carries its icon.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kelvo.png")));
    writeLog("Loading Config!");
    if (!loadConfig()) m_messages.show("Config file missing!");
    if (!runLoginDialog(m_state)) return false;
    m_settings = loadKelvoIni(settingsPath());
    if (m_settings.nodeIdChosen && m_settings.mqtt.enabled) saveSettings();
    m_cycle->setAutoReconnect(m_settings.link.reconnect);
    m_archive->configure(m_settings.archive, m_state.config.appDir);
    m_publisher->keepEnergyCountersIn(m_state.config.appDir);
    m_publisher->configure(m_settings.mqtt);

    registerWindowKinds();

    m_mainWindow = std::make_unique<MainWindow>(*this, [this] { closeAll(); });
    m_cycle->start();
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
    saveConfig();
    m_state.log.close();
    return exitCode;
}

void Application::closeAll() {
    if (m_cycleStopped) return;
    m_state.closing = true;
    // Stop the rhythm before the documents go, so no tick runs on a document being
    // destroyed; what the last tick recorded is in the data file the close writes.
    stopCycle();
    for (WindowKind* kind : {m_daysKind, m_monthsKind, m_realTimeKind, m_archiveKind}) {
        if (kind) kind->closeAllDocuments();
    }
}

void Application::stopCycle() {
    // No box may keep a core thread waiting while this thread joins it.
    m_messages.release();
    if (!m_cycleStopped) m_cycle->stop();
    m_cycleStopped = true;
}

void Application::registerWindowKinds() {
    m_daysKind = makeHistoryByDaysKind(m_state, this);
    m_monthsKind = makeHistoryByMonthsKind(m_state, this);
    m_realTimeKind = makeRealTimeKind(
        m_state, m_cycle.get(), [this] { updateAllWindows(); }, this);
    m_archiveKind = makeArchiveKind(
        m_state, [this] { return archivePath(); }, this);
    connect(m_realTimeKind, &WindowKind::documentsChanged, this, [this] {
        RealTimeDocument* document = firstRealTimeDocument();
        m_firstRecording = document ? &document->recording() : nullptr;
    });
}

bool Application::loadConfig() {
    std::lock_guard lock(m_state.dataLock);
    return ::loadConfig(m_state.config, m_state.clock);
}

bool Application::saveConfig() {
    // The fields are copied under the data lock; the file is written and fsync'ed without it,
    // so a poll never waits for the disk.
    return ::saveConfig(m_state.config, m_state.clock, &m_state.dataLock);
}

void Application::saveNow() {
    saveConfig();
    if (RealTimeDocument* document = firstRealTimeDocument()) document->recording().saveDataFile();
}

void Application::writeLog(const std::string& text) { m_state.log.writeLog(text); }

QString Application::settingsPath() const {
    return QString::fromStdString(pathInDirectory(m_state.config.appDir, "kelvo.ini"));
}

void Application::saveSettings() {
    if (!saveKelvoIni(settingsPath(), m_settings))
        m_messages.show("Fail to write settings file: " + settingsPath().toStdString());
}

std::string Application::archivePath() const {
    return m_settings.archive.path(m_state.config.appDir);
}

QString Application::servicesStatusText() const {
    std::string text = m_archive->statusText();
    const std::string publishing = m_publisher->statusText();
    if (!text.empty() && !publishing.empty()) text += "; ";
    return QString::fromStdString(text + publishing);
}

QString Application::linkStatusText() const {
    auto clockTime = [](int64_t seconds) {
        return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("HH:mm:ss"));
    };
    const SamplingCycle::LinkStatus status = m_cycle->linkStatus();
    switch (status.phase) {
        case SamplingCycle::LinkStatus::Phase::Polling:
            if (status.lastSample == 0) return QStringLiteral("Com%1").arg(status.port);
            return QStringLiteral("Com%1, last sample %2")
                .arg(status.port)
                .arg(clockTime(status.lastSample));
        case SamplingCycle::LinkStatus::Phase::Disconnected:
            return QStringLiteral("Disconnected");
        case SamplingCycle::LinkStatus::Phase::NoDevice:
            break;
    }
    if (status.nextAttempt == 0) return QStringLiteral("No device");
    return QStringLiteral("No device, next attempt %1").arg(clockTime(status.nextAttempt));
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
