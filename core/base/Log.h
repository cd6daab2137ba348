#pragma once

#include <mutex>
#include <string>

// "Log.txt" in the working directory, emptied by the first line of each run.
class Log {
public:
    ~Log();
    // The text and one line feed, no time stamp. Fails silently; the next line tries again.
    void writeLog(const std::string& text);
    void close();

private:
    bool open();

    std::mutex m_lock;
    std::string m_path = "Log.txt";
    int m_fd = -1;
};
