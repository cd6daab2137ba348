#pragma once

#include <string>

// "Log.txt" in the working directory, emptied by the first line of each run.
class Log {
public:
    ~Log();
    void WriteLog(const std::string& text);  // the text and one line feed; fails silently
    void close();
    void setPath(std::string path);  // tests only; default "Log.txt"

private:
    std::string m_path = "Log.txt";
    int m_fd = -1;
};
