#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "core/acquisition/Recorder.h"
#include "ui/framework/CommandTarget.h"
#include "ui/framework/MessageBoxSink.h"
#include "ui/shell/RecorderSignals.h"

class ArchiveWriter;
class Clock;
class MainWindow;
class Publisher;
class RealTimeDocument;
class SerialPorts;
class SettingsCommands;
class StatusBarText;
class WindowKind;

// Where the program is wired together: the recorder and the listeners of its samples (archive,
// publisher), its signals, the settings of kelvo.ini, the window kinds and the main window.
// Last stop on the command route (window switching, About, Print Setting, Exit). The
// recorder's cycle runs from the main window's creation to its close; the real-time window's
// opening opens the recording and connects, its closing closes the recording.
class Application : public QObject, public CommandTarget {
    Q_OBJECT
public:
    // ports: where Connect looks for the meter; clock: configuration times and samples.
    Application(SerialPorts& ports, Clock& clock);
    ~Application() override;

    // Start-up: log line, configuration, login, settings, window kinds, main window, cycle,
    // documents. False ends the program (shutDown still runs).
    bool startUp();
    // Every way out: destroys the main window if still there, saves dast.cfg, closes the
    // log. Returns exitCode.
    int shutDown(int exitCode = 0);

    // Writes dast.cfg and dast.data at once, before an orderly exit that may be cut short
    // (the X server going away with the session ends the process).
    void saveNow();

    Recorder& recorder() { return m_recorder; }
    const RecorderSignals& recorderSignals() const { return m_signals; }
    SettingsCommands& settingsCommands() const { return *m_settings; }
    const StatusBarText& statusBarText() const { return *m_statusBarText; }
    ArchiveWriter& archive() const { return *m_archive; }
    Publisher& publisher() const { return *m_publisher; }
    // The archive file as the settings name it, resolved against the working directory.
    std::string archivePath() const;
    MainWindow* mainWindow() const { return m_mainWindow.get(); }

    void showHistoryByDays();
    void showHistoryByMonths();
    void showRealTime();
    void showArchive();
    // Asks the first open document of each kind (days, months, real time) to update its
    // views.
    void updateAllWindows();

    WindowKind* historyByDaysKind() const { return m_daysKind; }
    WindowKind* archiveKind() const { return m_archiveKind; }
    // The first open real-time document, or null.
    RealTimeDocument* firstRealTimeDocument() const;

signals:
    // The main window has closed; the message loop should end.
    void mainWindowClosed();

private:
    void registerWindowKinds();
    void showKind(WindowKind* kind);
    // The main window's close request, carried out once: the cycle stops, then the
    // documents of every kind close.
    void closeAll();
    // Releases the message sink and stops the cycle; later calls only release.
    void stopCycle();

    MessageBoxSink m_messages;
    RecorderSignals m_signals;
    // The recorder outlives the listeners of its samples: the publisher's switch commands
    // go through its link until the publisher is gone. Its cycle is stopped first.
    Recorder m_recorder;
    std::unique_ptr<ArchiveWriter> m_archive;
    std::unique_ptr<Publisher> m_publisher;
    std::unique_ptr<SettingsCommands> m_settings;
    std::unique_ptr<StatusBarText> m_statusBarText;

    WindowKind* m_daysKind = nullptr;  // owned as QObject children
    WindowKind* m_monthsKind = nullptr;
    WindowKind* m_realTimeKind = nullptr;
    WindowKind* m_archiveKind = nullptr;
    std::unique_ptr<MainWindow> m_mainWindow;
    bool m_cycleStopped = false;
    bool m_exited = false;
};
