#include "core/acquisition/ManualResetEvent.h"

void ManualResetEvent::set() {
    {
        std::lock_guard lock(m_lock);
        m_signalled = true;
    }
    m_changed.notify_all();
}

void ManualResetEvent::reset() {
    std::lock_guard lock(m_lock);
    m_signalled = false;
}

bool ManualResetEvent::wait() {
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [this] { return m_signalled || m_abandoned; });
    return !m_abandoned;
}

void ManualResetEvent::abandon() {
    {
        std::lock_guard lock(m_lock);
        m_abandoned = true;
    }
    m_changed.notify_all();
}

void ManualResetEvent::rearm() {
    std::lock_guard lock(m_lock);
    m_abandoned = false;
    m_signalled = false;
}
