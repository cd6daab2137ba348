#pragma once

#include <QObject>
#include <atomic>
#include <memory>
#include <string>

#include "core/acquisition/MonitorState.h"
#include "ui/framework/CommandTarget.h"
#include "ui/framework/MessageBoxSink.h"
#include "ui/shell/KelvoIni.h"

class WindowKind;
class MainWindow;
class Clock;
class SerialPorts;
class RealTimeDocument;
class SamplingCycle;
class ArchiveWriter;
class Publisher;

// The application object: owns the state that lives for the whole run (configuration with
// the channel table, energy tables, serial link, flags), the sampling cycle, the three
// window kinds and the main window. Last stop on the command route. The sampling cycle runs
// from the main window's creation to its close.
class Application : public QObject, public CommandTarget {
    Q_OBJECT
public:
    // ports: where Connect looks for the device; clock: configuration times and samples.
    Application(SerialPorts& ports, Clock& clock);
    ~Application() override;

    // Start-up: log line, configuration, login, window kinds, main window, sampling cycle,
    // documents. False ends the program (shutDown still runs).
    bool startUp();
    // Every way out: destroys the main window if still there, saves dast.cfg, closes the
    // log. Returns exitCode.
    int shutDown(int exitCode = 0);

    bool loadConfig();  // false: defaults installed
    bool saveConfig();  // false: nothing written
    // Writes dast.cfg and the real-time document's dast.data at once, before an orderly exit
    // that may be cut short (the X server going away with the session ends the process).
    void saveNow();
    void writeLog(const std::string& text);

    // kelvo.ini in the working directory.
    QString settingsPath() const;
    const KelvoIni& settings() const { return m_settings; }
    // Where the link stands, as the status bar's link pane shows it.
    QString linkStatusText() const;
    // What is wrong with the archive (or publishing), empty while all is well.
    QString servicesStatusText() const;
    ArchiveWriter& archive() const { return *m_archive; }
    Publisher& publisher() const { return *m_publisher; }
    // The archive file as the settings name it, resolved against the working directory.
    std::string archivePath() const;

    void showHistoryByDays();
    void showHistoryByMonths();
    void showRealTime();
    void showArchive();
    // Asks the first open document of each kind (days, months, real time) to update its
    // views.
    void updateAllWindows();

signals:
    // The main window has closed; the message loop should end.
    void mainWindowClosed();

public:
    MonitorState& state() { return m_state; }
    MainWindow* mainWindow() const { return m_mainWindow.get(); }
    SamplingCycle& cycle() const { return *m_cycle; }

    WindowKind* historyByDaysKind() const { return m_daysKind; }
    WindowKind* archiveKind() const { return m_archiveKind; }
    // The first open real-time document, or null.
    RealTimeDocument* firstRealTimeDocument() const;

private:
    void registerWindowKinds();
    void showKind(WindowKind* kind);
    // The main window's close request, carried out once: the sampling cycle stops, then the
    // documents of all three kinds close.
    void closeAll();
    // Releases the message sink and stops the sampling cycle; later calls only release.
    void stopCycle();
    // Writes kelvo.ini; a failure is said in the message box.
    void saveSettings();

    MessageBoxSink m_messages;
    MonitorState m_state;
    KelvoIni m_settings;
    // Listeners of the samples: made before the cycle and gone after it.
    std::unique_ptr<ArchiveWriter> m_archive;
    std::unique_ptr<Publisher> m_publisher;
    std::unique_ptr<SamplingCycle> m_cycle;
    // Read by the timer thread through the cycle's first-document callback.
    std::atomic<RecordingDocument*> m_firstRecording{nullptr};

    WindowKind* m_daysKind = nullptr;  // owned as QObject children
    WindowKind* m_monthsKind = nullptr;
    WindowKind* m_realTimeKind = nullptr;
    WindowKind* m_archiveKind = nullptr;
    std::unique_ptr<MainWindow> m_mainWindow;
    bool m_cycleStopped = false;
    bool m_exited = false;
};
