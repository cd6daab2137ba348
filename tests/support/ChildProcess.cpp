#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace {

long residentOf(const std::string& statusPath) {
    std::ifstream status(statusPath);
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = -1;
            status >> kb;
            return kb;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

}  // namespace

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& outputFile,
                         const std::string& directory,
                         const std::map<std::string, std::string>& environment) {
    if (m_pid > 0 || argv.empty()) return false;
    m_exitStatus = -1;
    std::vector<std::string> args = argv;
    std::vector<char*> cargs;
    for (auto& a : args) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        if (!directory.empty() && ::chdir(directory.c_str()) != 0) ::_exit(126);
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        const int fd = outputFile.empty()
                           ? -1
                           : ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        ::execv(cargs[0], cargs.data());
        ::_exit(127);
    }
    return m_pid > 0;
}

int ChildProcess::waitExit(std::chrono::milliseconds limit) {
    if (m_pid <= 0) return m_exitStatus;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {  // looks at least once, so a zero limit still sees an ended child
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return m_exitStatus;
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ChildProcess::signal(int number) const {
    if (m_pid > 0) ::kill(m_pid, number);
}

int ChildProcess::stop(int signal, std::chrono::milliseconds limit) {
    if (m_pid <= 0) return m_exitStatus;
    ::kill(m_pid, signal);
    const int status = waitExit(limit);
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    return status;
}

long ChildProcess::residentKb() const {
    return m_pid > 0 ? residentOf("/proc/" + std::to_string(m_pid) + "/status") : -1;
}

long ownResidentKb() { return residentOf("/proc/self/status"); }
