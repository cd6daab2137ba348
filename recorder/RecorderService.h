#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "core/acquisition/Recorder.h"
#include "core/acquisition/RecorderListener.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "recorder/ServiceLog.h"

class ArchiveWriter;
class Publisher;

// The headless program's recorder with its archive and publisher, in one working directory:
// records from start() to stop() and says in the log what happened to the link and the
// services. The signal loop of main drives it.
class RecorderService final : private RecorderListener {
public:
    // `directory`: absolute, the process's current directory.
    RecorderService(const std::string& directory, Clock& clock);
    ~RecorderService() override;

    // Loads dast.cfg, kelvo.ini and dast.data, then looks for the meter and polls it.
    void start();
    // kelvo.ini again: archive and broker settings take effect at once.
    void reloadSettings();
    // Writes dast.data and dast.cfg as they stand; recording goes on.
    void saveNow();
    // Stops polling, writes dast.data and dast.cfg, hands the archive its last samples; false
    // when either file could not be written (logged). Once only; later calls return true.
    bool stop();

    ServiceLog& log() { return m_log; }

private:
    void onSampleRecorded(SampleOrigin origin) override;
    void onTablesChanged() override {}
    void onLinkChanged() override;
    // Logs the archive's and the broker's state when it changed since the last look.
    void noteServiceStates();

    std::string m_directory;
    ServiceLog m_log;
    // Set once by stop(); seen by the listener's thread, which runs until the recorder is
    // gone: declared before it.
    std::atomic<bool> m_stopping{false};
    bool m_linkLogged = false;
    int m_loggedPort = 0;  // polling: its number; no device: 0; closed: -1
    std::string m_archiveText;
    std::string m_brokerText;
    std::mutex m_servicesLock;  // the archive and publisher, which stop() takes away

    PosixSerialPorts m_ports;
    Recorder m_recorder;
    std::unique_ptr<ArchiveWriter> m_archive;
    std::unique_ptr<Publisher> m_publisher;
};
