#include "core/acquisition/AcquisitionLock.h"

uint64_t AcquisitionLock::ticket() {
    uint64_t mine;
    {
        std::lock_guard lock(m_lock);
        mine = ++m_newest;
    }
    m_changed.notify_all();
    return mine;
}

bool AcquisitionLock::acquire(uint64_t ticket) {
    std::unique_lock lock(m_lock);
    ++m_waiting;
    m_changed.wait(lock, [&] { return !m_held || m_abandoned || ticket != m_newest; });
    --m_waiting;
    // A superseded worker that finds the lock free may still take it: the newer one then
    // waits as the queued one.
    if (m_abandoned || (m_held && ticket != m_newest)) return false;
    m_held = true;
    return true;
}

void AcquisitionLock::release() {
    {
        std::lock_guard lock(m_lock);
        m_held = false;
    }
    m_changed.notify_all();
}

void AcquisitionLock::abandon() {
    {
        std::lock_guard lock(m_lock);
        m_abandoned = true;
    }
    m_changed.notify_all();
}

void AcquisitionLock::rearm() {
    std::lock_guard lock(m_lock);
    m_abandoned = false;
}

int AcquisitionLock::waiting() const {
    std::lock_guard lock(m_lock);
    return m_waiting;
}

bool AcquisitionLock::held() const {
    std::lock_guard lock(m_lock);
    return m_held;
}
