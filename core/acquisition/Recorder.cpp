#include "core/acquisition/Recorder.h"

#include <cstring>

#include "core/acquisition/ChannelSwitchRequest.h"
#include "core/acquisition/Recording.h"
#include "core/base/Clock.h"

Recorder::Recorder(SerialPorts& ports, MessageSink& messages, Clock& clock)
    : m_state(ports, messages, clock), m_cycle(m_state, [this] { return m_open.load(); }) {}

Recorder::~Recorder() {
    m_cycle.stop();
    m_relay.stop();
    m_open = nullptr;
    m_recording.reset();  // closes a link still open
}

void Recorder::setListener(RecorderListener* listener) {
    m_relay.start(listener);
    m_state.listener = &m_relay;
}

void Recorder::addSampleSink(SampleSink* sink) { m_state.sampleSinks.push_back(sink); }

bool Recorder::loadConfig(const std::string& directory) {
    std::lock_guard lock(m_state.dataLock);
    m_state.live = {};
    return ::loadConfig(m_state.config, m_state.clock, directory);
}

bool Recorder::saveConfig() {
    // A copy is saved, so that the file is written and fsync'ed without the data lock and a
    // poll never waits for the disk. The records carry the last readings, as they always
    // have in the file.
    DastConfig copy = config();
    const bool saved = ::saveConfig(copy, m_state.clock);
    std::lock_guard lock(m_state.dataLock);
    m_state.config.lastSaveTime = copy.lastSaveTime;
    return saved;
}

void Recorder::start(std::chrono::microseconds period) { m_cycle.start(period); }

void Recorder::stop() { m_cycle.stop(); }

void Recorder::setClosing() { m_state.closing = true; }

void Recorder::openRecording() {
    if (Recording* previous = m_open.exchange(nullptr)) m_cycle.releaseRecording(previous);
    m_recording = std::make_unique<Recording>(m_state);
    m_recording->open();
    m_open = m_recording.get();
}

bool Recorder::closeRecording() {
    Recording* current = m_open;
    if (!current) return true;
    if (!current->close()) return false;
    m_cycle.releaseRecording(current);
    m_open = nullptr;
    if (m_state.link.isOpen()) {
        m_state.link.closeLink();
        if (m_state.listener) m_state.listener->onLinkChanged();
    }
    return true;
}

bool Recorder::recording() const { return m_open != nullptr; }

bool Recorder::tickRunning() const {
    const Recording* current = m_open;
    return current && current->busy;
}

bool Recorder::saveDataFile() const { return m_recording && m_recording->saveDataFile(); }

void Recorder::exportCsv(const std::string& path) const {
    if (m_recording) m_recording->exportCsv(path);
}

void Recorder::connect() {
    if (Recording* current = m_open) m_cycle.onConnect(current);
}

void Recorder::disconnect() { m_cycle.onDisconnect(); }

bool Recorder::linkOpen() const { return m_state.link.isOpen(); }

bool Recorder::probing() const { return m_cycle.probing(); }

SamplingCycle::LinkStatus Recorder::linkStatus() const { return m_cycle.linkStatus(); }

void Recorder::setAutoReconnect(bool on) { m_cycle.setAutoReconnect(on); }

void Recorder::setReconnectTimings(ReconnectLoop::Timings timings) {
    m_cycle.setReconnectTimings(std::move(timings));
}

bool Recorder::switchChannels(const std::string& request) {
    return m_state.link.switchChannels(request);
}

bool Recorder::switchOneChannel(int channel, bool on, std::string& outcome) {
    return ::switchOneChannel(m_state.link, channel, on, outcome);
}

DastConfig Recorder::config() const {
    std::lock_guard lock(m_state.dataLock);
    DastConfig copy = m_state.config;
    copy.channels = withReadings(copy.channels, m_state.live);
    return copy;
}

ChannelTable Recorder::channels() const {
    std::lock_guard lock(m_state.dataLock);
    return withReadings(m_state.config.channels, m_state.live);
}

ScopeSelection Recorder::scope() const {
    std::lock_guard lock(m_state.dataLock);
    return m_state.config.scope();
}

DayTable Recorder::days() const {
    std::lock_guard lock(m_state.dataLock);
    return m_state.days;
}

MonthTable Recorder::months() const {
    std::lock_guard lock(m_state.dataLock);
    return m_state.months;
}

void Recorder::copyStore(SampleStore& out) const {
    if (m_recording) {
        m_recording->copyStore(out);
    } else {
        std::memset(&out, 0, sizeof out);
    }
}

std::vector<int32_t> Recorder::lastSamples(int ring, int n) const {
    return m_recording ? m_recording->lastSamples(ring, n) : std::vector<int32_t>{};
}

std::string Recorder::workingDirectory() const {
    std::lock_guard lock(m_state.dataLock);
    return m_state.config.appDir;
}

void Recorder::setChannelNames(const ChannelTable& names) {
    std::lock_guard lock(m_state.dataLock);
    for (int k = 0; k < kChannelRecords; ++k)
        std::memcpy(m_state.config.channels[k].name, names[k].name, sizeof names[k].name);
}

void Recorder::setScopeIndex(uint16_t index) {
    std::lock_guard lock(m_state.dataLock);
    m_state.config.scopeIndex = index;
}

void Recorder::setExportInterval(uint32_t seconds) {
    std::lock_guard lock(m_state.dataLock);
    m_state.config.exportInterval = seconds;
}

void Recorder::writeLog(const std::string& text) { m_state.log.writeLog(text); }

void Recorder::closeLog() { m_state.log.close(); }
