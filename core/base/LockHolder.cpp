#include "core/base/LockHolder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string programOf(int pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

std::optional<LockHolder> holderOf(const struct stat& file) {
    // "3: FLOCK  ADVISORY  WRITE 812 00:19:4 0 EOF"; waiters carry "->" after the number.
    std::ifstream locks("/proc/locks");
    std::string line;
    for (int lines = 0; lines < 100000 && std::getline(locks, line); ++lines) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (!(fields >> number >> kind) || kind != "FLOCK") continue;
        if (!(fields >> mode >> access >> pid >> where) || pid <= 0 || pid == ::getpid()) continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        if (major == major(file.st_dev) && minor == minor(file.st_dev) && inode == file.st_ino)
            return LockHolder{static_cast<int>(pid), programOf(static_cast<int>(pid))};
    }
    return std::nullopt;
}

}  // namespace

std::optional<LockHolder> flockHolder(int fd) {
    struct stat file {};
    if (::fstat(fd, &file) != 0) return std::nullopt;
    return holderOf(file);
}

std::optional<LockHolder> flockHolder(const std::string& path) {
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) return std::nullopt;
    return holderOf(file);
}

std::string describeHolder(const LockHolder& holder) {
    if (holder.pid <= 0) return "another process";
    const std::string program = holder.program.empty() ? "process" : holder.program;
    return program + " (pid " + std::to_string(holder.pid) + ")";
}
