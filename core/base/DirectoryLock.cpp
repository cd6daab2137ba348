#include "core/base/DirectoryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "core/base/FilePath.h"

DirectoryLock::~DirectoryLock() { release(); }

DirectoryLock::Outcome DirectoryLock::acquire(const std::string& directory) {
    release();
    const std::string path = pathInDirectory(directory, "kelvo.lock");
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return Outcome::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        m_holder = flockHolder(fd).value_or(LockHolder{});
        ::close(fd);
        return held ? Outcome::Held : Outcome::Failed;
    }
    m_fd = fd;
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
    return Outcome::Acquired;
}

void DirectoryLock::release() {
    if (m_fd < 0) return;
    // The file stays: removing it would let a third process lock a new file while a second
    // still waits on the old one.
    ::close(m_fd);
    m_fd = -1;
}
