#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "core/base/MessageSink.h"

class QString;
class QWidget;

// The program's one message box, modal: caption "vorn", exclamation icon, one OK button.
// Returns when the user has dismissed it. GUI thread only; without a parent it sits over the
// active window.
void showMessageBox(const QString& text, QWidget* parent = nullptr);

// Shows each core message in that box.
// From the GUI thread the box runs at once. From any other thread the box is queued to the
// GUI thread and the caller blocks until it has been dismissed, one caller at a time, so
// messages keep their order.
class MessageBoxSink final : public MessageSink {
public:
    void show(const std::string& text) override;

    // Shut-down: waiting callers return at once and later ones do not wait, so the GUI
    // thread can join the core's threads without waiting on a box nobody will answer.
    void release();

private:
    // Shared with the queued box, which may outlive this sink.
    struct Progress {
        std::mutex lock;
        std::condition_variable dismissed;
        bool released = false;
        unsigned long shown = 0;  // cross-thread boxes dismissed so far
    };
    std::mutex m_order;  // one cross-thread message at a time
    std::shared_ptr<Progress> m_progress = std::make_shared<Progress>();
};
