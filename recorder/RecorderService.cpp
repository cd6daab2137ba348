#include "recorder/RecorderService.h"

#include "core/archive/ArchiveWriter.h"
#include "core/base/FilePath.h"
#include "core/publish/Publisher.h"
#include "core/settings/KelvoIni.h"

RecorderService::RecorderService(const std::string& directory, Clock& clock)
    : m_directory(directory), m_log(clock), m_ports(directory), m_recorder(m_ports, m_log, clock) {
    m_archive = std::make_unique<ArchiveWriter>(m_log, clock);
    m_publisher = std::make_unique<Publisher>([this](int channel, bool on, std::string& outcome) {
        return m_recorder.switchOneChannel(channel, on, outcome);
    });
    m_recorder.addSampleSink(m_archive.get());
    m_recorder.addSampleSink(m_publisher.get());
    m_recorder.setListener(this);
}

RecorderService::~RecorderService() { stop(); }

void RecorderService::start() {
    if (!m_recorder.loadConfig(m_directory)) m_log.line("Config file missing!");
    m_publisher->keepEnergyCountersIn(m_directory);
    reloadSettings();
    // Nobody is there to click Connect again: a lost or missing meter is always sought anew.
    m_recorder.setAutoReconnect(true);
    // The rhythm first: its start forgets any recording, so the recording is opened on it.
    m_recorder.start();
    m_recorder.openRecording();
    m_recorder.connect();
}

void RecorderService::reloadSettings() {
    const std::string path = pathInDirectory(m_directory, "kelvo.ini");
    const KelvoIni settings = loadKelvoIni(path);
    // An id chosen now is kept at once, so the broker's entities stay the same ones.
    if (settings.nodeIdChosen && settings.mqtt.enabled && !saveKelvoIni(path, settings))
        m_log.line("Fail to write settings file: " + path);
    m_archive->configure(settings.archive, m_directory);
    m_publisher->configure(settings.mqtt);
    m_log.line(
        std::string("settings read from kelvo.ini: archive ") +
        (settings.archive.enabled ? settings.archive.path(m_directory) : "off") + ", broker " +
        (settings.mqtt.enabled ? settings.mqtt.host + ":" + std::to_string(settings.mqtt.port)
                               : "off"));
}

void RecorderService::saveNow() {
    if (!m_recorder.saveDataFile()) m_log.line("could not write dast.data");
    if (!m_recorder.saveConfig()) m_log.line("could not write dast.cfg");
}

bool RecorderService::stop() {
    if (m_stopping.exchange(true)) return true;
    m_recorder.setClosing();
    // A poll under way ends at once instead of after its last exchange (seconds at 9,600
    // baud): the service is asked to stop within 2 s.
    m_recorder.disconnect();
    m_recorder.stop();
    // Every tick recorded is in the store (the one cut short by the disconnect as a zero
    // sample, like any tick without a link): the close writes it all.
    const bool dataWritten = m_recorder.closeRecording();
    if (!dataWritten) m_log.line("could not write dast.data");
    const bool configWritten = m_recorder.saveConfig();
    if (!configWritten) m_log.line("could not write dast.cfg");
    // What the archive has queued is written now, or kept in its pending file. The listener's
    // thread may still be looking at the two.
    std::lock_guard lock(m_servicesLock);
    m_archive.reset();
    m_publisher.reset();
    return dataWritten && configWritten;
}

void RecorderService::onSampleRecorded(SampleOrigin) { noteServiceStates(); }

void RecorderService::onLinkChanged() {
    // The outcome of a probe is what counts; the stop's own close is no news.
    if (m_recorder.probing() || m_stopping) return;
    const SamplingCycle::LinkStatus status = m_recorder.linkStatus();
    using Phase = SamplingCycle::LinkStatus::Phase;
    // One line per change of where the link stands; the next attempt moving is no news.
    const int port = status.phase == Phase::Polling        ? status.port
                     : status.phase == Phase::Disconnected ? -1
                                                           : 0;
    if (m_linkLogged && port == m_loggedPort) return;
    if (port > 0)
        m_log.line("meter found on Com" + std::to_string(port));
    else if (port < 0)
        m_log.line("link closed");
    else if (m_loggedPort > 0)
        m_log.line("link lost on Com" + std::to_string(m_loggedPort) +
                   "; looking for the meter again");
    else
        m_log.line("no meter found; looking again by itself");
    m_linkLogged = true;
    m_loggedPort = port;
}

void RecorderService::noteServiceStates() {
    std::lock_guard lock(m_servicesLock);
    if (!m_archive || !m_publisher) return;
    auto note = [this](const std::string& now, std::string& last, const char* what,
                       const char* fine) {
        if (now == last) return;
        last = now;
        m_log.line(std::string(what) + ": " + (now.empty() ? fine : now));
    };
    note(m_archive->statusText(), m_archiveText, "archive", "writing");
    note(m_publisher->statusText(), m_brokerText, "broker", "off");
}
