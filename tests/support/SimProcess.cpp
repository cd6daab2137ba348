#include "support/SimProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

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

SimProcess::SimProcess() {
    char pattern[] = "/tmp/kelvo-sim-XXXXXX";
    if (::mkdtemp(pattern)) m_dir = pattern;
}

SimProcess::SimProcess(std::string dir) : m_dir(std::move(dir)), m_ownsDir(false) {}

SimProcess::~SimProcess() {
    stop();
    if (m_ownsDir && !m_dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
}

bool SimProcess::start(const std::vector<std::string>& args, int port) {
    if (m_dir.empty() || m_pid > 0) return false;
    std::vector<std::string> argv = {KELVO_METER_SIM, "--dir", m_dir, "--port",
                                     std::to_string(port)};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (auto& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    const std::string out = m_dir + "/sim.out";
    const pid_t parent = ::getpid();

    m_pid = ::fork();
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        ::execv(cargs[0], cargs.data());
        ::_exit(127);
    }
    if (m_pid < 0) return false;

    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        struct stat st {};
        char target[64] = {};
        if (::lstat(link(port).c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
            ::readlink(link(port).c_str(), target, sizeof target - 1) > 0 &&
            std::string(target).rfind("/dev/pts/", 0) == 0 &&
            ::stat(link(port).c_str(), &st) == 0) {  // not a stale link left from before
            return true;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

int SimProcess::waitExit(std::chrono::milliseconds limit) {
    if (m_pid <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    do {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(5ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return -1;
}

int SimProcess::stop(int signal) {
    if (m_pid <= 0) return -1;
    ::kill(m_pid, signal);
    const int status = waitExit(3s);
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    return status;
}

long SimProcess::residentKb() const {
    return m_pid > 0 ? residentOf("/proc/" + std::to_string(m_pid) + "/status") : -1;
}

long ownResidentKb() { return residentOf("/proc/self/status"); }
