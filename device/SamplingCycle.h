#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class CVornDoc;
class NotifyTarget;
struct MonitorState;

// The 5-second rhythm: a periodic timer on its own thread (absolute deadlines, no drift),
// the manual-reset event "timerEvent", the acquisition workers and Connect / Disconnect.
// While the link is open the timer only wakes the worker; while it is closed the timer
// records a zero sample itself.
class SamplingCycle {
public:
    // firstRealTimeDocument: the first open document of the real-time kind, or nullptr.
    SamplingCycle(MonitorState& state, std::function<CVornDoc*()> firstRealTimeDocument);
    ~SamplingCycle();  // stop()

    // Main-window creation: current document none, event created, timer started.
    void start(std::chrono::milliseconds period = std::chrono::milliseconds(5000));
    // Main-window destruction: stops the timer, wakes and joins every worker. Bounded.
    void stop();

    // Connect: probes the ports and starts a worker for this list view, whatever the probe
    // found. The probe runs off the calling thread; `done` (may be empty) is called from that
    // thread with OpenDevice's result once the worker has been started.
    void OnConnect(std::shared_ptr<NotifyTarget> listView, CVornDoc* document,
                   std::function<void(int)> done = {});
    void OnDisconnect();
    bool probing() const;  // a Connect is still looking for the device
};
