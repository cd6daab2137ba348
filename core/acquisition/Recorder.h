#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/acquisition/ListenerRelay.h"
#include "core/acquisition/ReconnectLoop.h"
#include "core/acquisition/RecorderState.h"
#include "core/acquisition/SamplingCycle.h"
#include "core/store/SampleStore.h"

class RecorderListener;
class SampleSink;

// The meter's recorder: the serial link, the 5-second sampling cycle with its reconnect loop,
// the configuration of dast.cfg, the energy tables and the 24-hour store with its data file,
// and the listeners of every sample (archive, publisher). One object for the whole run; the
// desktop windows and the headless program drive it through its commands and learn what
// happened from its one listener. Readers get copies; no lock of the recorder is ever taken
// outside it.
//
// Recording runs from openRecording() to closeRecording(): the store is loaded from dast.data
// and the time the program was away filled with zeros, each tick adds one slot, and the close
// writes dast.data. Without an open recording the cycle samples nothing.
class Recorder {
public:
    // ports: where Connect looks for the meter; messages: what the user must see; clock: the
    // time of configuration saves and samples.
    Recorder(SerialPorts& ports, MessageSink& messages, Clock& clock);
    ~Recorder();  // stops the cycle; an open recording is dropped unsaved (close it first)

    // Before start(): the observer (may be null), called on a thread of its own so that it
    // never holds up a tick, and the listeners of every meter sample.
    void setListener(RecorderListener* listener);
    void addSampleSink(SampleSink* sink);

    // dast.cfg in `directory` (empty: the current one), which becomes the working directory of
    // every file; false: the defaults are in place / nothing written.
    bool loadConfig(const std::string& directory = {});
    bool saveConfig();

    // The 5-second rhythm, from the main window's creation (or the service's start) to the end.
    void start(std::chrono::microseconds period = std::chrono::milliseconds(5000));
    void stop();  // bounded by one tick and one probe
    // What the timer does at the end of each period, now: tests drive the rhythm with it.
    void tickNow() { m_cycle.onSampleTimer(); }
    // The program is closing: a close of the recording during a tick goes ahead.
    void setClosing();

    // Loads dast.data into a fresh store and fills the time since it was saved.
    void openRecording();
    // False (nothing saved, recording goes on) while a tick runs and the program is not
    // closing; otherwise stops recording, writes dast.data and closes the link.
    bool closeRecording();
    bool recording() const;
    bool tickRunning() const;  // a tick is recording right now
    bool closing() const { return m_state.closing; }
    // Writes dast.data as the store stands now (crash-safe); recording goes on.
    bool saveDataFile() const;
    // The data export of the store to `path`; the outcome is shown through the message sink.
    void exportCsv(const std::string& path) const;

    // Connect: probes the ports off the calling thread and polls what it finds.
    void connect();
    // Closes the link; no reconnect attempt follows until the next Connect.
    void disconnect();
    bool linkOpen() const;
    bool probing() const;  // a Connect is still looking for the meter
    SamplingCycle::LinkStatus linkStatus() const;
    void setAutoReconnect(bool on);
    bool autoReconnect() const { return m_cycle.autoReconnect(); }
    void setReconnectTimings(ReconnectLoop::Timings timings);

    // The channel control's exchange, serialised with the poll: true when acknowledged.
    bool switchChannels(const std::string& request);
    bool switchOneChannel(int channel, bool on, std::string& outcome);

    // Snapshots.
    DastConfig config() const;      // channel records with the last readings' power and state
    ChannelTable channels() const;  // the same records alone
    ScopeSelection scope() const;   // the chart's time span alone, for each sample
    DayTable days() const;
    MonthTable months() const;
    void copyStore(SampleStore& out) const;  // a zeroed store while none was ever opened
    // The n slots of one ring just before the write position, oldest first (see
    // Recording::lastSamples); none while no store was ever opened.
    std::vector<int32_t> lastSamples(int ring, int n) const;
    std::string workingDirectory() const;

    // Changes to dast.cfg's fields, kept in memory until the next saveConfig().
    void setChannelNames(const ChannelTable& names);  // the name fields of every record
    void setScopeIndex(uint16_t index);
    void setExportInterval(uint32_t seconds);

    void writeLog(const std::string& text);
    void closeLog();
    MessageSink& messages() const { return m_state.messages; }
    Clock& clock() const { return m_state.clock; }

private:
    ListenerRelay m_relay;  // the observer's own thread; outlives the cycle that calls it
    RecorderState m_state;
    // The last recording opened, kept after its close for the windows still showing it.
    // Opened, closed and read on one thread (the GUI's); the cycle's threads see m_open.
    std::unique_ptr<Recording> m_recording;
    std::atomic<Recording*> m_open{nullptr};  // read by the timer thread
    SamplingCycle m_cycle;
};
