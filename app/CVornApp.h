#pragma once

#include <QObject>
#include <atomic>
#include <memory>
#include <string>

#include "app/MonitorState.h"
#include "ui/framework/CommandTarget.h"
#include "ui/framework/MessageBoxSink.h"

class CDocTemplate;
class CMainFrame;
class Clock;
class PortOpener;
class RealTimeDocument;
class SamplingCycle;

// The application object: owns the state that lives for the whole run (configuration with
// the channel table, energy tables, serial link, flags), the sampling cycle, the three
// window kinds and the main window. Last stop on the command route.
class CVornApp : public QObject, public CommandTarget {
    Q_OBJECT
public:
    // ports: where Connect looks for the device; clock: configuration times and samples.
    CVornApp(PortOpener& ports, Clock& clock);
    ~CVornApp() override;

    // The one application object of the process (null when none exists).
    static CVornApp* instance();

    // Start-up: log line, configuration, login, window kinds, main window, documents.
    // False ends the program (ExitInstance still runs).
    bool InitInstance();
    // Every way out: destroys the main window if still there, saves dast.cfg, closes the
    // log. Returns exitCode.
    int ExitInstance(int exitCode = 0);

    bool LoadConfig();  // false: defaults installed
    bool SaveConfig();  // false: nothing written
    // Writes dast.cfg and the real-time document's dast.data at once, before an orderly exit
    // that may be cut short (the X server going away with the session ends the process).
    void SaveNow();
    void WriteLog(const std::string& text);

    void ShowHistoryByDays();
    void ShowHistoryByMonths();
    void ShowRealTime();
    // Asks the first open document of each kind (days, months, real time) to update its
    // views.
    void UpdateAllWindows();

signals:
    // The main window has closed; the message loop should end.
    void mainWindowClosed();

public:
    MonitorState& state() { return m_state; }
    SamplingCycle& cycle() { return *m_cycle; }
    MessageBoxSink& messages() { return m_messages; }
    CMainFrame* mainFrame() const { return m_mainFrame.get(); }

    CDocTemplate* historyByDaysKind() const { return m_daysKind; }
    CDocTemplate* historyByMonthsKind() const { return m_monthsKind; }
    CDocTemplate* realTimeKind() const { return m_realTimeKind; }
    // The first open real-time document, or null.
    RealTimeDocument* firstRealTimeDocument() const;

private:
    void registerWindowKinds();
    void showKind(CDocTemplate* kind);
    bool runLogin();

    MessageBoxSink m_messages;
    MonitorState m_state;
    std::unique_ptr<SamplingCycle> m_cycle;
    // Read by the timer thread through the cycle's first-document callback.
    std::atomic<CVornDoc*> m_firstRealTimeCore{nullptr};

    CDocTemplate* m_daysKind = nullptr;  // owned as QObject children
    CDocTemplate* m_monthsKind = nullptr;
    CDocTemplate* m_realTimeKind = nullptr;
    std::unique_ptr<CMainFrame> m_mainFrame;
    bool m_exited = false;
};

// The application object (the process has exactly one while windows exist).
inline CVornApp* theApp() { return CVornApp::instance(); }
