#include "core/acquisition/SamplingCycle.h"

#include "core/acquisition/RecorderState.h"
#include "core/acquisition/Recording.h"
#include "core/base/ThreadName.h"

SamplingCycle::SamplingCycle(RecorderState& state,
                             std::function<Recording*()> firstRecording)
    : m_state(state), m_firstRecording(std::move(firstRecording)) {}

SamplingCycle::~SamplingCycle() { stop(); }

void SamplingCycle::start(std::chrono::microseconds period) {
    stop();
    m_stopping = false;
    m_userDisconnected = false;
    m_state.connectRequested = false;
    m_state.link.allowProbe();
    m_state.currentRecording = nullptr;
    m_timerEvent.rearm();
    m_acquisition.rearm();
    m_timer.start(period, [this] { onSampleTimer(); });
    m_state.closing = false;
    m_reconnect.start();
}

void SamplingCycle::stop() {
    m_stopping = true;
    m_state.link.cancelProbe();  // a probe ends at its next port instead of trying all 99
    m_timer.stop();
    m_reconnect.stop();  // an attempt under way is cut short by the cancelled probe
    // Workers waiting on the event or queued for the lock give up now; one inside a tick
    // finishes that tick first.
    m_timerEvent.abandon();
    m_acquisition.abandon();

    std::thread probe;
    {
        std::lock_guard lock(m_threadsLock);
        probe = std::move(m_probe);
    }
    if (probe.joinable()) probe.join();  // no worker can start after this

    std::list<Worker> workers;
    {
        std::lock_guard lock(m_threadsLock);
        workers.swap(m_workers);
    }
    for (Worker& w : workers) w.thread.join();
}

void SamplingCycle::onSampleTimer() {
    if (m_state.link.isOpen()) {
        m_timerEvent.set();
        return;
    }
    // A link lost by a write or by the failure counter is noticed here within one period.
    m_reconnect.poke();
    if (!m_state.running) return;
    // A worker whose poll lost the link records this period itself; a second sample now
    // would put two samples into one 5-second slot.
    std::unique_lock gate(m_tickGate, std::try_to_lock);
    if (!gate.owns_lock() || !m_state.running) return;
    Recording* recording = m_state.currentRecording;
    if (recording == nullptr) {
        recording = m_firstRecording ? m_firstRecording() : nullptr;
        if (recording == nullptr) return;
        Recording* none = nullptr;
        if (!m_state.currentRecording.compare_exchange_strong(none, recording)) recording = none;
    }
    recording->recordSample();
    tellSample(SampleOrigin::NoLink);
}

void SamplingCycle::tellSample(SampleOrigin origin) const {
    if (m_state.listener) m_state.listener->onSampleRecorded(origin);
}

void SamplingCycle::tellLink() const {
    if (m_state.listener) m_state.listener->onLinkChanged();
}

void SamplingCycle::runWorker(Recording* recording, uint64_t ticket) {
    if (!m_acquisition.acquire(ticket)) return;
    while (m_state.running) {
        if (!m_timerEvent.wait()) break;
        m_timerEvent.reset();
        if (!m_state.link.isOpen() || recording != m_state.currentRecording) break;
        bool fromMeter = false;
        {
            std::lock_guard gate(m_tickGate);
            // The recording may have been released while this worker waited for the gate.
            if (!m_state.running || recording != m_state.currentRecording) break;
            fromMeter = recording->recordSample();
        }
        // A poll cut short by the user's Disconnect records its zero sample like any tick
        // without a link: the windows keep the last values read from the meter. A link lost
        // to the meter's failures is shown at once.
        if (fromMeter) {
            tellSample(SampleOrigin::Meter);
        } else {
            tellSample(m_userDisconnected ? SampleOrigin::NoLink : SampleOrigin::LinkLost);
            tellLink();
        }
    }
    m_acquisition.release();
    m_reconnect.poke();  // the link may have been lost
}

void SamplingCycle::startWorkerLocked(Recording* recording) {
    auto finished = std::make_shared<std::atomic<bool>>(false);
    const uint64_t ticket = m_acquisition.ticket();
    std::thread thread([this, recording, ticket, finished] {
        nameThisThread("kelvo-poll");
        runWorker(recording, ticket);
        *finished = true;
    });
    m_workers.push_back(Worker{std::move(thread), std::move(finished)});
}

void SamplingCycle::reapWorkersLocked() {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (*it->finished) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

void SamplingCycle::onConnect(Recording* recording, std::function<void(bool)> done) {
    if (m_stopping || m_state.link.isOpen()) return;
    if (m_probing.exchange(true)) return;  // the button is disabled while a probe runs
    m_userDisconnected = false;
    m_state.connectRequested = true;
    tellLink();

    std::thread previous;
    {
        std::lock_guard lock(m_threadsLock);
        reapWorkersLocked();
        previous = std::move(m_probe);
    }
    // The previous probe has cleared m_probing, so at most its `done` call is left.
    if (previous.joinable()) previous.join();

    std::lock_guard lock(m_threadsLock);
    m_probe = std::thread([this, recording, done = std::move(done)] {
        // Up to 99 ports at 1.3 s each: never on the GUI thread.
        nameThisThread("kelvo-probe");
        const int found = m_state.link.openDevice();
        bool started = false;
        {
            std::lock_guard lock(m_threadsLock);
            if (!m_stopping) {
                startWorkerLocked(recording);
                started = true;
            }
        }
        m_probing = false;
        tellLink();
        // Found or not, the link is now looked after: a Connect that found nothing keeps
        // trying in the background.
        m_reconnect.arm();
        if (started && done) done(found);
    });
}

void SamplingCycle::onDisconnect() {
    m_userDisconnected = true;
    m_reconnect.disarm();
    m_state.link.closeLink();
    tellLink();
}

bool SamplingCycle::tryReconnect(bool fullProbe) {
    if (m_stopping || m_probing.exchange(true)) return false;  // a Connect is probing
    Recording* recording = m_state.currentRecording;
    bool back = false;
    if (m_state.connectRequested && recording && m_state.running) {
        // The loop tries the last port on its own first: the full probe leaves it out.
        back = fullProbe ? m_state.link.openDevice(m_state.link.lastPort())
                         : m_state.link.reopenLastPort();
        if (back && m_userDisconnected) {  // Disconnect came while the port was tried
            m_state.link.closeLink();
            back = false;
        }
        if (back) {
            std::lock_guard lock(m_threadsLock);
            if (!m_stopping) {
                reapWorkersLocked();
                startWorkerLocked(recording);
            }
        }
    }
    m_probing = false;
    if (back) tellLink();
    return back;
}

SamplingCycle::LinkStatus SamplingCycle::linkStatus() const {
    LinkStatus status;
    if (m_state.link.isOpen()) {
        status.phase = LinkStatus::Phase::Polling;
        status.port = m_state.link.lastPort();
        status.lastSample = m_state.lastGoodSample;
    } else if (m_userDisconnected) {
        status.phase = LinkStatus::Phase::Disconnected;
    } else {
        status.nextAttempt = m_reconnect.nextAttempt();
        status.heldBy = m_state.link.heldBy();
    }
    return status;
}

bool SamplingCycle::probing() const { return m_probing; }

void SamplingCycle::releaseRecording(Recording* recording) {
    std::lock_guard gate(m_tickGate);
    Recording* expected = recording;
    m_state.currentRecording.compare_exchange_strong(expected, nullptr);
}

int SamplingCycle::liveWorkers() const {
    std::lock_guard lock(m_threadsLock);
    int live = 0;
    for (const Worker& w : m_workers) live += *w.finished ? 0 : 1;
    return live;
}
