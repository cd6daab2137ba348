#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// One of the project's programs run by a test: stdout and stderr go to a file, the child
// dies with the test process (parent-death signal), and it is stopped, or killed, in the
// destructor on every path.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // argv[0] is the program's path; false when it could not be started.
    bool start(const std::vector<std::string>& argv, const std::string& outputFile);
    // Waits for the child to end by itself: its exit status (128 + signal when one killed
    // it), or -1 on timeout.
    int waitExit(std::chrono::milliseconds limit);
    // Sends `signal` and waits up to `limit`: the exit status, or -1 if it had to be killed.
    int stop(int signal = 15, std::chrono::milliseconds limit = std::chrono::seconds(3));
    pid_t pid() const { return m_pid; }
    bool running() const { return m_pid > 0; }
    // Resident memory in KiB, from /proc; -1 when unknown.
    long residentKb() const;

private:
    pid_t m_pid = -1;
};

// Resident memory of this process in KiB.
long ownResidentKb();
