#include "device/AcquisitionLock.h"

bool AcquisitionLock::acquire() {
    std::unique_lock lock(m_lock);
    ++m_waiting;
    m_changed.wait(lock, [this] { return !m_held || m_abandoned; });
    --m_waiting;
    if (m_abandoned) return false;
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
