#pragma once

#include <condition_variable>
#include <mutex>

// A manual-reset event: once set it stays set, waking every waiter, until reset. Setting it
// again while set changes nothing, so wake-ups never queue beyond one. abandon() releases
// every present and future waiter for good, which is how shutdown ends waiting workers.
class ManualResetEvent {
public:
    void set();
    void reset();
    // Blocks until the event is set (true) or abandoned (false). Does not reset it.
    bool wait();
    // As wait(), giving up after `timeout` (false).
    template <typename Duration>
    bool waitFor(Duration timeout) {
        std::unique_lock lock(m_lock);
        m_changed.wait_for(lock, timeout, [this] { return m_signalled || m_abandoned; });
        return m_signalled && !m_abandoned;
    }
    bool isSet() const;
    void abandon();
    void rearm();  // undoes abandon(), not signalled

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_signalled = false;
    bool m_abandoned = false;
};
