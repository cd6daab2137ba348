#include "ui/framework/PostedNotifyTarget.h"

#include <QCoreApplication>

QEvent::Type NotifyEvent::type() {
    static const QEvent::Type registered = static_cast<QEvent::Type>(QEvent::registerEventType());
    return registered;
}

bool PostedNotifyTarget::exists() const {
    std::lock_guard lock(m_lock);
    return m_receiver != nullptr;
}

void PostedNotifyTarget::post(unsigned message) {
    std::lock_guard lock(m_lock);
    if (m_receiver) QCoreApplication::postEvent(m_receiver, new NotifyEvent(message));
}

void PostedNotifyTarget::detach() {
    std::lock_guard lock(m_lock);
    m_receiver = nullptr;
}
