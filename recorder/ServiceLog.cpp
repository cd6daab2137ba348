#include "recorder/ServiceLog.h"

#include <cstdio>

#include "core/base/LocalTimeFormat.h"

void ServiceLog::line(const std::string& text) {
    std::lock_guard lock(m_lock);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    m_file.writeLog(formatLocalTime(m_clock.now(), "%Y-%m-%d %H:%M:%S ") + text);
}
