#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

// A program run by a test: stdout and stderr go to a file (or stay the test's), the child dies
// with the test process (parent-death signal), and it is stopped, or killed, in the destructor
// on every path.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // argv[0] is the program's path; an empty outputFile keeps the test's own output; the
    // child runs in `directory` (unless empty) with `environment` added to the test's. False
    // when it could not be started.
    bool start(const std::vector<std::string>& argv, const std::string& outputFile,
               const std::string& directory = {},
               const std::map<std::string, std::string>& environment = {});
    // Waits for the child to end by itself: its exit status (128 + signal when one killed
    // it; kept once it ended), or -1 on timeout.
    int waitExit(std::chrono::milliseconds limit);
    // Sends `signal` and waits up to `limit`: the exit status, or -1 if it had to be killed.
    int stop(int signal = 15, std::chrono::milliseconds limit = std::chrono::seconds(3));
    pid_t pid() const { return m_pid; }
    // Started and not ended (an ended child is reaped here).
    bool running() { return m_pid > 0 && waitExit(std::chrono::milliseconds(0)) == -1; }
    void signal(int number) const;
    // Resident memory in KiB, from /proc; -1 when unknown.
    long residentKb() const;

private:
    pid_t m_pid = -1;
    int m_exitStatus = -1;
};

// Resident memory of this process in KiB.
long ownResidentKb();
