#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "tools/meter-sim/CommandFrameScanner.h"
#include "tools/meter-sim/FaultPlan.h"
#include "tools/meter-sim/HouseholdModel.h"
#include "tools/meter-sim/PtyDevice.h"
#include "tools/meter-sim/SimulatorOptions.h"

namespace metersim {

// The meter itself: takes command frames off the line, composes what a healthy meter
// would answer, lets the fault plan spoil it, and sends it at the line's pace, one reply
// after the other as a single-threaded device firmware would.
class MeterSimulator {
public:
    MeterSimulator(const SimulatorOptions& options, PtyDevice& device, std::FILE* log);

    // Serves the line until `stopFd` becomes readable (a stop signal has come).
    void run(int stopFd);

    // Reply of a healthy meter to one command; empty for a command it does not know.
    // Switch commands change the channel's state before the acknowledgement goes out.
    std::vector<uint8_t> answer(const CommandFrame& frame, std::string& what);

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Outgoing {
        std::vector<uint8_t> bytes;
        size_t sent = 0;
        TimePoint readyAt;
        TimePoint startedAt;
        TimePoint nextByteAt;  // trickled replies: a gap is kept even after a late wake-up
        bool started = false;
        int byteGapMs = 0;
    };

    void onCommand(const CommandFrame& frame, TimePoint now);
    void onPortEvents();
    void pump(TimePoint now);
    int millisecondsToNextByte(TimePoint now) const;
    std::chrono::nanoseconds byteInterval(int extraGapMs) const;
    int64_t localSeconds() const;
    void logLine(const std::string& text);

    SimulatorOptions m_options;
    PtyDevice& m_device;
    std::FILE* m_log;
    HouseholdModel m_household;
    FaultPlan m_faults;
    CommandFrameScanner m_scanner;
    SwitchStates m_switches;
    std::deque<Outgoing> m_queue;
    TimePoint m_launched;
    TimePoint m_lastReceived;
    TimePoint m_lineFreeAt;
    TimePoint m_babbleStarted;
    uint64_t m_babbleSent = 0;
};

}  // namespace metersim
