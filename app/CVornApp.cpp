#include "app/CVornApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QMdiArea>
#include <QScreen>

#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "app/WindowKinds.h"
#include "device/SamplingCycle.h"
#include "ui/dialogs/DialogCommands.h"
#include "ui/framework/CChildFrame.h"
#include "ui/framework/CDocTemplate.h"
#include "ui/framework/CView.h"
#include "ui/framework/PrinterSetup.h"
#include "ui/framework/RealTimeDocument.h"

namespace {
CVornApp* g_app = nullptr;
}

static void initResources() { Q_INIT_RESOURCE(icons); }

CVornApp::CVornApp(PortOpener& ports, Clock& clock) : m_state(ports, m_messages, clock) {
    initResources();
    g_app = this;
    // The timer thread asks for the first real-time document; it reads a copy kept here
    // rather than the GUI thread's document lists.
    m_cycle =
        std::make_unique<SamplingCycle>(m_state, [this] { return m_firstRealTimeCore.load(); });

    onCommand(ID_HISTORY_DAYS, [this] { ShowHistoryByDays(); });
    onCommand(ID_HISTORY_MONTHS, [this] { ShowHistoryByMonths(); });
    onCommand(ID_REAL_TIME, [this] { ShowRealTime(); });
    // The button of the window in front is grey, the other two are live.
    auto kindState = [this](CDocTemplate* const CVornApp::*kind) {
        return [this, kind](CmdUI& ui) {
            CDocTemplate* docTemplate = this->*kind;
            if (!docTemplate) {
                ui.enabled = false;
                return;
            }
            ui.enabled = true;
            CDocument* document = docTemplate->GetFirstDoc();
            CView* view = document ? document->GetFirstView() : nullptr;
            if (view && m_mainFrame && view->GetParentFrame() &&
                view->GetParentFrame() == m_mainFrame->activeChildFrame())
                ui.enabled = false;
        };
    };
    onUpdate(ID_HISTORY_DAYS, kindState(&CVornApp::m_daysKind));
    onUpdate(ID_HISTORY_MONTHS, kindState(&CVornApp::m_monthsKind));
    onUpdate(ID_REAL_TIME, kindState(&CVornApp::m_realTimeKind));

    onCommand(ID_APP_ABOUT, [this] { RunAboutDlg(m_state, m_mainFrame.get()); });
    onCommand(ID_FILE_PRINT_SETUP, [this] { runPrinterSetup(m_mainFrame.get()); });
    onCommand(ID_APP_EXIT, [this] {
        if (m_mainFrame) m_mainFrame->close();
    });
}

CVornApp::~CVornApp() {
    ExitInstance();
    // Documents whose windows are already gone (a main window destroyed without closing).
    for (CDocTemplate* kind : {m_daysKind, m_monthsKind, m_realTimeKind}) {
        if (kind) kind->CloseAllDocuments();
    }
    m_firstRealTimeCore = nullptr;
    m_cycle.reset();
    if (g_app == this) g_app = nullptr;
}

CVornApp* CVornApp::instance() { return g_app; }

bool CVornApp::InitInstance() {
    // Every window of the program, child windows and boxes included, carries its icon.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kelvo.png")));
    WriteLog("Loading Config!");
    if (!LoadConfig()) m_messages.show("Config file missing!");
    if (!runLogin()) return false;

    registerWindowKinds();

    m_mainFrame = std::make_unique<CMainFrame>(*this);
    connect(m_mainFrame.get(), &CMainFrame::closed, this, &CVornApp::mainWindowClosed);

    // The command line is parsed and then ignored: it never opens a file or a window.
    QCommandLineParser commandLine;
    commandLine.parse(QCoreApplication::arguments());

    for (CDocTemplate* kind : {m_realTimeKind, m_daysKind, m_monthsKind})
        kind->OpenDocumentFile(m_mainFrame->mdiArea());

    ShowRealTime();
    if (CChildFrame* active = m_mainFrame->activeChildFrame()) active->showMaximized();
    // Maximising is the window manager's job; without one (a bare X server) the frame
    // would keep its default size, so it starts out covering the screen's work area.
    if (QScreen* screen = m_mainFrame->screen())
        m_mainFrame->setGeometry(screen->availableGeometry());
    m_mainFrame->showMaximized();
    m_mainFrame->updateCommandStates();
    m_mainFrame->repaint();
    return true;
}

int CVornApp::ExitInstance(int exitCode) {
    if (m_exited) return exitCode;
    m_exited = true;
    if (m_mainFrame) {
        m_mainFrame->close();  // the close request, if nobody has made it yet
        m_mainFrame.reset();   // stops the sampling cycle
    }
    SaveConfig();
    m_state.log.close();
    return exitCode;
}

bool CVornApp::runLogin() { return RunLoginDlg(m_state); }

void CVornApp::registerWindowKinds() {
    m_daysKind = makeHistoryByDaysKind(*this);
    m_monthsKind = makeHistoryByMonthsKind(*this);
    m_realTimeKind = makeRealTimeKind(*this);
    connect(m_realTimeKind, &CDocTemplate::documentsChanged, this, [this] {
        RealTimeDocument* document = firstRealTimeDocument();
        m_firstRealTimeCore = document ? &document->core() : nullptr;
    });
}

bool CVornApp::LoadConfig() {
    std::lock_guard lock(m_state.dataLock);
    return ::LoadConfig(m_state.config, m_state.clock);
}

bool CVornApp::SaveConfig() {
    // The fields are copied under the data lock; the file is written and fsync'ed without it,
    // so a poll never waits for the disk.
    return ::SaveConfig(m_state.config, m_state.clock, &m_state.dataLock);
}

void CVornApp::SaveNow() {
    SaveConfig();
    if (RealTimeDocument* document = firstRealTimeDocument()) document->core().SaveDataFile();
}

void CVornApp::WriteLog(const std::string& text) { m_state.log.WriteLog(text); }

void CVornApp::showKind(CDocTemplate* kind) {
    if (!kind || !m_mainFrame) return;
    CDocument* document = kind->GetFirstDoc();
    if (!document) {
        kind->OpenDocumentFile(m_mainFrame->mdiArea());
        m_mainFrame->updateCommandStates();
        return;
    }
    CView* view = document->GetFirstView();
    CChildFrame* frame = view ? view->GetParentFrame() : nullptr;
    if (!frame) return;
    m_mainFrame->mdiArea()->setActiveSubWindow(frame);
    frame->showMaximized();
    m_mainFrame->updateCommandStates();
}

void CVornApp::ShowHistoryByDays() { showKind(m_daysKind); }

void CVornApp::ShowHistoryByMonths() { showKind(m_monthsKind); }

void CVornApp::ShowRealTime() { showKind(m_realTimeKind); }

void CVornApp::UpdateAllWindows() {
    for (CDocTemplate* kind : {m_daysKind, m_monthsKind, m_realTimeKind}) {
        if (!kind) continue;
        if (CDocument* document = kind->GetFirstDoc()) document->UpdateAllViews(nullptr);
    }
}

RealTimeDocument* CVornApp::firstRealTimeDocument() const {
    return m_realTimeKind ? static_cast<RealTimeDocument*>(m_realTimeKind->GetFirstDoc()) : nullptr;
}
