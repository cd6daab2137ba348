#include "core/base/BackgroundWorker.h"

#include "core/base/ThreadName.h"

BackgroundWorker::~BackgroundWorker() {
    if (m_thread.joinable()) stop();
}

void BackgroundWorker::start(Job job) {
    m_job = std::move(job);
    m_thread = std::thread([this] {
        nameThisThread(m_job.name);
        run();
    });
}

void BackgroundWorker::waitIdle(const std::function<bool()>& done) {
    Lock held(m_lock);
    m_idle.wait(held, done);
}

void BackgroundWorker::requestStop() {
    {
        std::lock_guard guard(m_lock);
        m_stopWanted = true;
    }
    m_wake.notify_all();
}

void BackgroundWorker::stop() {
    requestStop();
    m_thread.join();
}

bool BackgroundWorker::stop(std::chrono::milliseconds limit) {
    requestStop();
    Lock held(m_lock);
    const bool ended = m_idle.wait_for(held, limit, [this] { return m_ended; });
    held.unlock();
    if (ended)
        m_thread.join();
    else
        m_thread.detach();
    return ended;
}

void BackgroundWorker::run() {
    auto deadline = [this] {
        return m_job.deadline ? m_job.deadline() : std::optional<TimePoint>();
    };
    Lock held(m_lock);
    while (true) {
        // Work handed over or a deadline brought nearer while waiting ends the wait, so it is
        // set again for the new deadline.
        const auto due = deadline();
        auto woken = [&] { return m_stopWanted || m_job.ready() || deadline() != due; };
        if (due)
            m_wake.wait_until(held, *due, woken);
        else
            m_wake.wait(held, woken);
        if (m_stopWanted) break;
        m_stepping = true;
        m_job.step(held);
        m_stepping = false;
        m_idle.notify_all();
    }
    if (m_job.finish) m_job.finish(held);
    m_ended = true;
    m_idle.notify_all();
}
