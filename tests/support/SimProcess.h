#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

// The real simulator executable, run in its own temporary directory for one test. The
// child dies with the test process (parent-death signal) and is stopped, or killed, in the
// destructor on every path, so no simulator outlives a test.
class SimProcess {
public:
    SimProcess();
    // Runs in `dir`, which the caller owns (a second simulator taking over a port).
    explicit SimProcess(std::string dir);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts with --dir <temp dir> and these arguments; waits until Com<port> appears.
    bool start(const std::vector<std::string>& args, int port = 1);
    // Sends `signal` and waits; the exit status, or -1 if it had to be killed.
    int stop(int signal = 15);
    // Waits for the child to end by itself; its exit status, or -1 on timeout.
    int waitExit(std::chrono::milliseconds limit);

    const std::string& dir() const { return m_dir; }
    std::string link(int port = 1) const { return m_dir + "/Com" + std::to_string(port); }
    pid_t pid() const { return m_process.pid(); }
    // Resident memory of the simulator in KiB, from /proc; -1 when unknown.
    long residentKb() const { return m_process.residentKb(); }

private:
    std::string m_dir;
    bool m_ownsDir = true;
    ChildProcess m_process;
};
