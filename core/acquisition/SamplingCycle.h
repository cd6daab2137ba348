#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "core/acquisition/AcquisitionLock.h"
#include "core/acquisition/ManualResetEvent.h"
#include "core/acquisition/PeriodicTimer.h"
#include "core/acquisition/ReconnectLoop.h"
#include "core/acquisition/RecorderListener.h"
#include "core/base/LockHolder.h"

class Recording;
struct RecorderState;

// The 5-second rhythm: a periodic timer on its own thread (absolute deadlines, no drift),
// the manual-reset event "timerEvent", the acquisition workers and Connect / Disconnect.
// While the link is open the timer only wakes the worker; while it is closed the timer
// records a zero sample itself.
//
// Ticks never run side by side: the timer's own tick is skipped while a worker's tick is
// still running, and releaseRecording() waits for a running tick before a recording goes away.
class SamplingCycle {
public:
    // firstRecording: the first open recording of the real-time kind, or nullptr.
    // It is called on the timer thread.
    SamplingCycle(RecorderState& state, std::function<Recording*()> firstRecording);
    ~SamplingCycle();  // stop()

    // The start of the rhythm: current recording none, event created, timer started, closing
    // cleared.
    void start(std::chrono::microseconds period = std::chrono::milliseconds(5000));
    // The end of the rhythm: stops the timer, wakes and joins every worker (those waiting
    // for the event and those waiting for the acquisition lock), a running probe and the
    // reconnect thread. Bounded by one tick and one probe; never detaches.
    void stop();

    // Connect: probes the ports and starts a worker recording into `recording`, whatever the
    // probe found. The probe runs off the calling thread; `done` (may be empty) is called from
    // that thread with openDevice's result once the worker has been started (not when stop()
    // came first). Does nothing while the link is open or another Connect is still probing.
    // `done` must not call back into the cycle (onConnect, stop) on that thread: post instead.
    void onConnect(Recording* recording, std::function<void(bool)> done = {});
    // Closes the link; no reconnect attempt follows until the next Connect.
    void onDisconnect();
    bool probing() const;  // a Connect is still looking for the device

    // Before a recording is destroyed (after its close step): waits for a tick
    // running on it and makes sure no later tick touches it.
    void releaseRecording(Recording* recording);

    // The timer callback, on the timer's thread; public so a test can drive the period.
    void onSampleTimer();

    // Workers blocked waiting for the acquisition lock (another worker holds it): at most
    // one, the newest; an older queued worker ends when a newer Connect starts one.
    int workersWaitingForLock() const { return m_acquisition.waiting(); }
    bool workerHoldsLock() const { return m_acquisition.held(); }
    // Workers started and not yet ended.
    int liveWorkers() const;

    // Where the link stands, for the status bar.
    struct LinkStatus {
        enum class Phase { Polling, NoDevice, Disconnected } phase = Phase::NoDevice;
        int port = 0;             // polling: the port number ("Com<n>")
        int64_t lastSample = 0;   // polling: Unix seconds of the last good sample, 0 for none
        int64_t nextAttempt = 0;  // no device: Unix seconds of the next attempt, 0 for none
        // No device: the program holding a port the last probe could not open, if any.
        std::optional<LockHolder> heldBy;
    };
    LinkStatus linkStatus() const;

    // The background reconnect after a lost link; see ReconnectLoop.
    void setAutoReconnect(bool on) { m_reconnect.setEnabled(on); }
    bool autoReconnect() const { return m_reconnect.enabled(); }
    void setReconnectTimings(ReconnectLoop::Timings timings) {
        m_reconnect.setTimings(std::move(timings));
    }

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    void runWorker(Recording* recording, uint64_t ticket);
    void startWorkerLocked(Recording* recording);
    // Tells the recorder's listener, if any.
    void tellSample(SampleOrigin origin) const;
    void tellLink() const;
    void reapWorkersLocked();
    // One reconnect attempt: the last port, or every port; starts a worker for the list
    // recording when the device answers.
    bool tryReconnect(bool fullProbe);

    RecorderState& m_state;
    std::function<Recording*()> m_firstRecording;

    ManualResetEvent m_timerEvent;  // "timerEvent"
    AcquisitionLock m_acquisition;
    PeriodicTimer m_timer;
    std::mutex m_tickGate;  // held for one whole tick

    mutable std::mutex m_threadsLock;  // guards m_workers, m_probe and worker starts
    std::list<Worker> m_workers;
    std::thread m_probe;
    std::atomic<bool> m_probing{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_userDisconnected{false};  // from Disconnect to the next Connect or start
    ReconnectLoop m_reconnect{m_state, [this](bool fullProbe) { return tryReconnect(fullProbe); }};
};
