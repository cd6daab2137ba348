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
    void abandon();
    void rearm();  // undoes abandon(), not signalled

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_signalled = false;
    bool m_abandoned = false;
};
