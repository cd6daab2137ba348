#include "core/base/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

Log::~Log() { close(); }

// Opens the log without following a link planted in its place and without blocking on a
// FIFO; only a plain file that has no other name is emptied and written, so nothing outside
// the working directory is ever truncated through the log's name.
bool Log::open() {
    const int fd =
        ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void Log::writeLog(const std::string& text) {
    std::lock_guard lock(m_lock);
    if (m_fd < 0 && !open()) return;
    std::string line = text;
    line += '\n';
    if (::lseek(m_fd, 0, SEEK_END) < 0) return;
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

void Log::close() {
    std::lock_guard lock(m_lock);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}
