#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/acquisition/SampleSink.h"
#include "core/store/ChannelRecord.h"
#include "core/store/SampleStore.h"

struct RecorderState;

// One recording of the recorder: the 24-hour sample store, its data file and its export, and
// the tick that polls the meter into it. The store is guarded by RecorderState::dataLock;
// readers copy what they need under it.
class Recording {
public:
    explicit Recording(RecorderState& state);  // zeroed store, startTime = now
    ~Recording();                              // closes an open link

    // Opening: running flag, current recording, load of dast.data, fillGap.
    bool open();
    // Closing: false (nothing saved, recording goes on) while a tick runs and the program is
    // not closing; otherwise clears the flags, saves dast.data, true.
    bool close();

    // Writes dast.data as the store stands now (crash-safe); recording goes on.
    bool saveDataFile() const;

    // The sampling tick; true when the sample came from the meter, false for a zero sample
    // (the link was closed, or closed during the poll).
    bool recordSample();
    void exportCsv(const std::string& path);

    // Copies under the data lock, for windows and tests.
    void copyStore(SampleStore& out) const;
    // The n slots of one ring just before writeIndex, oldest first (n clamped to 17,280; an
    // unknown ring gives none). count is not consulted: slots never written read as 0.
    std::vector<int32_t> lastSamples(int ring, int n) const;

    std::atomic<bool> busy{false};  // a tick is running

    RecorderState& state() const { return m_state; }
    std::string dataFilePath() const;  // appDir + "/dast.data"

private:
    struct PolledTables;

    // Steps of the tick. poll runs the three exchanges into copies, taking the data lock only
    // to make them; the other steps run with the data lock held.
    void poll(PolledTables& polled);
    // Energy tables always; number, power and state of records 1..15 and the Total (the sum
    // of loads 1..12) only while the link is still open.
    void commit(const PolledTables& polled, bool connected);
    // The zero sample's table part: power and state of records 1..15 and the Total cleared.
    void clearLiveFields();
    // One slot of each of the sixteen rings from the channel table's powers, then one step.
    void record();
    // The sample just recorded from the meter, copied for the listeners (data lock held).
    MeterSample meterSample() const;
    // Hands the sample (null: none this tick) and any change of the link to the listeners.
    void notifySinks(const MeterSample* sample, bool open);

    RecorderState& m_state;
    std::unique_ptr<SampleStore> m_store;  // 1.1 MB, guarded by RecorderState::dataLock
    bool m_sinksSawOpen = false;           // the link state last told to the listeners (tick only)
};
