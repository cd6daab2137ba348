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

using namespace std::chrono_literals;

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
    if (m_dir.empty() || m_process.running()) return false;
    std::vector<std::string> argv = {KELVO_METER_SIM, "--dir", m_dir, "--port",
                                     std::to_string(port)};
    argv.insert(argv.end(), args.begin(), args.end());
    if (!m_process.start(argv, m_dir + "/sim.out")) return false;

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
        if (m_process.waitExit(5ms) != -1) return false;
    }
    return false;
}

int SimProcess::waitExit(std::chrono::milliseconds limit) { return m_process.waitExit(limit); }

int SimProcess::stop(int signal) { return m_process.stop(signal); }
