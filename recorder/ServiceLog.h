#pragma once

#include <mutex>
#include <string>

#include "core/base/Clock.h"
#include "core/base/Log.h"
#include "core/base/MessageSink.h"

// The recorder's log: one line per event to stderr, which journald keeps with its own time
// stamp, and to Log.txt in the working directory with the local time in front. What the
// desktop would show in a box arrives here as a line too. Any thread may write.
class ServiceLog final : public MessageSink {
public:
    explicit ServiceLog(Clock& clock) : m_clock(clock) {}
    void line(const std::string& text);
    void show(const std::string& text) override { line(text); }
    void close() { m_file.close(); }

private:
    Clock& m_clock;
    std::mutex m_lock;  // one line at a time on stderr, in the order of the file
    Log m_file;
};
