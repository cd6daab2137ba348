#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// A thread of its own that sleeps until it is woken or a deadline passes, runs one step of its
// owner's work, and tells whoever waits for it to be idle; stopping wakes it, lets it run a
// last step and joins it. The owner's state and the worker's own flags share the owner's
// mutex, so what a step looks at is never out of step with the stop and idle flags.
//
// A wake is never lost: the thread looks at ready() before every sleep, so work handed over
// while a step runs is taken by the next one without waiting for another wake.
class BackgroundWorker {
public:
    using Lock = std::unique_lock<std::mutex>;
    using TimePoint = std::chrono::steady_clock::time_point;

    struct Job {
        // The thread's name (at most 15 characters).
        const char* name = "kelvo-worker";
        // Lock held: there is something to do now.
        std::function<bool()> ready = {};
        // Lock held: when a step is due even without a wake (a retry, a spaced command); none
        // when empty or nullopt. Looked at again after every wake, so a nearer one is kept.
        std::function<std::optional<TimePoint>()> deadline = {};
        // Called with the lock held, and must return with it held; lets go of it around slow
        // work (files, network, the serial link), never across the owner's state.
        std::function<void(Lock&)> step = {};
        // The same, once, after a stop was asked for: the last step before the thread ends.
        std::function<void(Lock&)> finish = {};
    };

    explicit BackgroundWorker(std::mutex& lock) : m_lock(lock) {}
    // Stops and joins a thread still running, waiting as long as its steps take.
    ~BackgroundWorker();
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    // Starts the thread; once only.
    void start(Job job);
    // Wakes the thread to look at ready() again; called after the owner's state changed
    // under the lock (with or without holding it).
    void wake() { m_wake.notify_all(); }

    // Lock held: a stop was asked for.
    bool stopping() const { return m_stopWanted; }
    // Lock held: a step runs (the lock may have been let go inside it).
    bool stepping() const { return m_stepping; }

    // Waits until `done` (looked at with the lock held) holds; it is looked at again after
    // every step and when the thread ends.
    void waitIdle(const std::function<bool()>& done);
    // Lock held: the same.
    void waitIdle(Lock& held, const std::function<bool()>& done) { m_idle.wait(held, done); }

    // Asks the thread to stop after the step under way and wakes it; returns at once.
    void requestStop();
    // Asks for the stop and waits for the last step and the join, however long they take.
    void stop();
    // The same, bounded: a thread that has not ended within `limit` is left running (false),
    // with everything it uses, this object included, left for the process to end.
    bool stop(std::chrono::milliseconds limit);

private:
    void run();

    std::mutex& m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    Job m_job;
    bool m_stopWanted = false;
    bool m_stepping = false;
    bool m_ended = false;
    std::thread m_thread;
};
