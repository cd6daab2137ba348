#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Calls a function periodically on its own thread. Deadlines are absolute (start + n periods
// on the steady clock), so the period does not drift by the time the callback takes. A
// callback that overruns is followed at once by one call, then the grid resumes; missed
// periods are not made up in a burst. stop() wakes the thread and joins it.
class PeriodicTimer {
public:
    ~PeriodicTimer();

    void start(std::chrono::microseconds period, std::function<void()> callback);
    void stop();  // returns once no callback runs; safe to call twice

private:
    void run(std::chrono::microseconds period, std::function<void()> callback);

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};
