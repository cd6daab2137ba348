#include "core/acquisition/ReconnectLoop.h"

#include "core/acquisition/RecorderListener.h"
#include "core/acquisition/RecorderState.h"
#include "core/base/Clock.h"
#include "core/base/ThreadName.h"

ReconnectLoop::ReconnectLoop(RecorderState& state, std::function<bool(bool)> attempt)
    : m_state(state), m_attempt(std::move(attempt)) {}

ReconnectLoop::~ReconnectLoop() { stop(); }

void ReconnectLoop::start() {
    stop();
    {
        std::lock_guard lock(m_lock);
        m_stop = false;
        m_armed = false;  // the first Connect arms it
    }
    m_thread = std::thread([this] {
        nameThisThread("kelvo-reconnect");
        run();
    });
}

void ReconnectLoop::stop() {
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
    m_nextAttempt = 0;
}

void ReconnectLoop::setFlag(bool& flag, bool on) {
    {
        std::lock_guard lock(m_lock);
        flag = on;
    }
    m_wake.notify_all();
}

bool ReconnectLoop::enabled() const {
    std::lock_guard lock(m_lock);
    return m_enabled;
}

void ReconnectLoop::setTimings(Timings timings) {
    if (timings.waits.empty()) return;
    std::lock_guard lock(m_lock);
    m_timings = std::move(timings);
}

bool ReconnectLoop::wanted() const {
    // Only while a recording records: without one nothing would be polled.
    return !m_stop && m_enabled && m_armed && m_state.running && !m_state.closing &&
           !m_state.link.isOpen();
}

bool ReconnectLoop::waitBeforeAttempt(std::unique_lock<std::mutex>& lock, size_t step) {
    const auto& waits = m_timings.waits;
    const std::chrono::milliseconds wait = waits[std::min(step, waits.size() - 1)];
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(wait).count();
    planAttempt(lock, m_state.clock.now() + seconds);
    // Woken early only to give up: stop, Disconnect, the setting turned off, or the link
    // opened by a Connect.
    return !m_wake.wait_for(lock, wait, [this] { return !wanted(); });
}

void ReconnectLoop::run() {
    std::unique_lock lock(m_lock);
    while (!m_stop) {
        m_wake.wait(lock, [this] { return m_stop || wanted(); });
        for (size_t step = 0; waitBeforeAttempt(lock, step); ++step) {
            if (m_state.link.lastPortPresent()) {
                lock.unlock();
                const bool back = m_attempt(false);
                lock.lock();
                if (back) break;
                if (!wanted()) continue;  // the loop's wait gives up at once
            }
            // The last port is gone or something else answers to its number now (every PC
            // has a first serial device): the meter may be back at another port, so every
            // port is probed, though not more often than the spacing allows.
            const auto now = std::chrono::steady_clock::now();
            if (m_lastFullProbe && now - *m_lastFullProbe < m_timings.fullProbeSpacing) continue;
            m_lastFullProbe = now;
            lock.unlock();
            const bool back = m_attempt(true);
            lock.lock();
            if (back) break;
        }
        planAttempt(lock, 0);
    }
}

void ReconnectLoop::planAttempt(std::unique_lock<std::mutex>& lock, int64_t when) {
    if (m_nextAttempt.exchange(when) == when) return;
    // The status bar shows the time of the next attempt; the listener is told with the lock
    // released, and every wait after this checks its condition again.
    lock.unlock();
    if (m_state.listener) m_state.listener->onLinkChanged();
    lock.lock();
}
