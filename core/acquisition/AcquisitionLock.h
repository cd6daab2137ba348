#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// The lock a worker holds for its whole life, so that only one worker polls. Unlike a plain
// mutex it can be abandoned: abandon() makes every waiting and later acquire() give up, so
// workers queued behind the active one end at shutdown instead of blocking it.
//
// Each worker takes a ticket when it is started. Only the newest ticket may wait for the
// lock: an older waiter gives up once a newer one arrives, so repeated Connects while a
// worker holds the lock leave one worker queued, not one per Connect.
class AcquisitionLock {
public:
    uint64_t ticket();              // the next worker's place; supersedes older waiters
    bool acquire(uint64_t ticket);  // false when abandoned or superseded; then not held
    void release();
    void abandon();
    void rearm();         // undoes abandon()
    int waiting() const;  // workers blocked in acquire()
    bool held() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_abandoned = false;
    int m_waiting = 0;
    uint64_t m_newest = 0;
};
