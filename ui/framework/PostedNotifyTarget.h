#pragma once

#include <QEvent>
#include <mutex>

#include "core/base/NotifyTarget.h"

class QObject;

// A core notification (UM_DATAUPDATED, UM_SAMPLESTORED) as a posted Qt event.
class NotifyEvent : public QEvent {
public:
    explicit NotifyEvent(unsigned message) : QEvent(type()), m_message(message) {}
    static QEvent::Type type();
    unsigned message() const { return m_message; }

private:
    unsigned m_message;
};

// The receiver side handed to the core's threads. post() queues a NotifyEvent to the
// receiver; detach(), called on the GUI thread before the receiver goes away, makes
// exists() false and every later post a no-op. The lock makes the check and the post one
// step, so no event is ever posted to a destroyed object.
class PostedNotifyTarget final : public NotifyTarget {
public:
    explicit PostedNotifyTarget(QObject* receiver) : m_receiver(receiver) {}
    bool exists() const override;
    void post(unsigned message) override;
    void detach();

private:
    mutable std::mutex m_lock;
    QObject* m_receiver;
};
