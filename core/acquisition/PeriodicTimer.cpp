#include "core/acquisition/PeriodicTimer.h"

#include "core/base/ThreadName.h"

PeriodicTimer::~PeriodicTimer() { stop(); }

void PeriodicTimer::start(std::chrono::microseconds period, std::function<void()> callback) {
    stop();
    {
        std::lock_guard lock(m_lock);
        m_stop = false;
    }
    m_thread = std::thread(&PeriodicTimer::run, this, period, std::move(callback));
}

void PeriodicTimer::stop() {
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void PeriodicTimer::run(std::chrono::microseconds period, std::function<void()> callback) {
    using Clock = std::chrono::steady_clock;
    nameThisThread("kelvo-rhythm");
    if (period <= std::chrono::microseconds::zero()) period = std::chrono::microseconds(1);
    Clock::time_point deadline = Clock::now() + period;
    for (;;) {
        {
            std::unique_lock lock(m_lock);
            if (m_wake.wait_until(lock, deadline, [this] { return m_stop; })) return;
        }
        callback();
        deadline += period;
        const Clock::time_point now = Clock::now();
        if (deadline < now) {
            // Overran: the next call comes at once, then back on the original grid.
            deadline += ((now - deadline) / period) * period;
        }
    }
}
