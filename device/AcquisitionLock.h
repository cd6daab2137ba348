#pragma once

#include <condition_variable>
#include <mutex>

// The lock a worker holds for its whole life, so that only one worker polls. Unlike a plain
// mutex it can be abandoned: abandon() makes every waiting and later acquire() give up, so
// workers queued behind the active one end at shutdown instead of blocking it.
class AcquisitionLock {
public:
    bool acquire();  // false when abandoned; the lock is then not held
    void release();
    void abandon();
    void rearm();         // undoes abandon()
    int waiting() const;  // workers blocked in acquire()

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_abandoned = false;
    int m_waiting = 0;
};
