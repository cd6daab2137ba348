#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/base/MessageSink.h"

// Keeps every message the core would show in the "vorn" box, in order.
class RecordingMessageSink final : public MessageSink {
public:
    void show(const std::string& text) override {
        std::lock_guard lock(m_lock);
        shown.push_back(text);
    }

    std::vector<std::string> shown;

private:
    std::mutex m_lock;
};
