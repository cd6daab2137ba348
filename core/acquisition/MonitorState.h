#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "core/base/Log.h"
#include "core/base/NotifyTarget.h"
#include "core/config/DastConfig.h"
#include "core/device/SerialLink.h"
#include "core/store/EnergyTables.h"

class RecordingDocument;
class SampleSink;
class Clock;
class MessageSink;

// What the application owns for the whole run and its threads share: configuration with
// the channel table, energy tables, the serial link and the flags of the sampling cycle.
//
// dataLock guards config (channel names and live fields), days, months, listWindow and the
// sample store of every RecordingDocument. It is held only for short copies, never across a serial
// exchange.
struct MonitorState {
    MonitorState(SerialPorts& ports, MessageSink& messages, Clock& clock)
        : link(ports, messages, clock), messages(messages), clock(clock) {}

    mutable std::mutex dataLock;
    DastConfig config;
    DayTable days{};
    MonthTable months{};
    std::shared_ptr<NotifyTarget> listWindow;  // target of UM_DATAUPDATED, set by Connect

    SerialLink link;
    std::atomic<bool> closing{false};                     // the main window is closing
    std::atomic<bool> running{false};                     // a real-time document is open
    std::atomic<RecordingDocument*> currentDoc{nullptr};  // the real-time document being recorded
    std::atomic<int64_t> lastGoodSample{0};  // Unix seconds of the last sample read from the meter

    // Listeners of every sample recorded from the meter (archive, publisher). Set once before
    // the sampling cycle starts and never changed while it runs, so it needs no lock.
    std::vector<SampleSink*> sampleSinks;

    MessageSink& messages;
    Clock& clock;
    Log log;
};
