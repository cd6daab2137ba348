#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "core/base/Log.h"
#include "core/config/DastConfig.h"
#include "core/device/SerialLink.h"
#include "core/store/EnergyTables.h"

class Clock;
class MessageSink;
class RecorderListener;
class Recording;
class SampleSink;

// What the recorder's parts (sampling cycle, reconnect loop, the recording with its store)
// share inside this layer. Nothing outside core/acquisition takes it: the windows and the
// headless program go through Recorder's commands and snapshots.
//
// dataLock guards config, live, days, months and the sample store of every Recording.
// It is held only for short copies, never across a serial exchange.
struct RecorderState {
    RecorderState(SerialPorts& ports, MessageSink& messages, Clock& clock)
        : link(ports, messages, clock), messages(messages), clock(clock) {}

    mutable std::mutex dataLock;
    DastConfig config;    // dast.cfg: channel names and the file's other fields
    LiveReadings live{};  // the last poll's power and state of records 0..15
    DayTable days{};
    MonthTable months{};

    SerialLink link;
    std::atomic<bool> closing{false};                     // the program is closing
    std::atomic<bool> running{false};                     // a recording is open
    std::atomic<bool> connectRequested{false};            // a Connect came since the start
    std::atomic<Recording*> currentRecording{nullptr};  // the recording being sampled
    std::atomic<int64_t> lastGoodSample{0};  // Unix seconds of the last sample read from the meter

    // Set once before the sampling cycle starts and never changed while it runs, so they
    // need no lock: the observer of the recorder (may be null) and the listeners of every
    // sample recorded from the meter (archive, publisher).
    RecorderListener* listener = nullptr;
    std::vector<SampleSink*> sampleSinks;

    MessageSink& messages;
    Clock& clock;
    Log log;
};
