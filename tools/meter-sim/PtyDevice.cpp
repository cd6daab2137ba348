#include "tools/meter-sim/PtyDevice.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace metersim {

namespace {

std::string readLink(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) return {};
    return std::string(target, static_cast<size_t>(n));
}

bool isPseudoTerminalPath(const std::string& target) { return target.rfind("/dev/pts/", 0) == 0; }

}  // namespace

PtyDevice::~PtyDevice() { close(); }

bool PtyDevice::open(const std::string& directory, int port, std::string& error) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        close();
        return false;
    }
    char name[PATH_MAX];
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        error = "cannot name the pseudo-terminal";
        close();
        return false;
    }
    m_terminal = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        error = "cannot open " + m_terminal + ": " + std::strerror(errno);
        close();
        return false;
    }
    // Raw mode on the terminal end: no echo, no line editing, no character translation.
    // The settings belong to the terminal, so every later opener finds them as they are.
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | PARENB);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    // Opens and closes of the terminal by the program, so stale replies can be dropped.
    m_watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch >= 0 &&
        ::inotify_add_watch(m_watch, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(m_watch);
        m_watch = -1;
    }

    const std::string link = directory + "/Com" + std::to_string(port);
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode) || !isPseudoTerminalPath(readLink(link))) {
            error = link + " exists and is not a link to a pseudo-terminal; left as it is";
            close();
            return false;
        }
    }
    // Made under a temporary name and renamed over the old one, so the port never vanishes.
    const std::string temp = link + ".sim" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), link.c_str()) != 0) {
        error = "cannot link " + link + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        close();
        return false;
    }
    m_link = link;
    return true;
}

void PtyDevice::close() {
    if (!m_link.empty() && readLink(m_link) == m_terminal) ::unlink(m_link.c_str());
    m_link.clear();
    for (int* fd : {&m_watch, &m_slave, &m_master}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

PtyDevice::PortEvents PtyDevice::takePortEvents() {
    PortEvents events;
    if (m_watch < 0) return events;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_watch, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & IN_OPEN) {
                ++events.opened;
                events.lastWasClose = false;
            }
            if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                ++events.closed;
                events.lastWasClose = true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return events;
}

long PtyDevice::receive(uint8_t* buffer, size_t max) {
    const ssize_t n = ::read(m_master, buffer, max);
    if (n >= 0) return n;
    // EIO: no opener right now; the terminal end we hold keeps it from being permanent.
    if (errno == EAGAIN || errno == EINTR || errno == EIO) return 0;
    return -1;
}

long PtyDevice::transmit(const uint8_t* data, size_t size) {
    const ssize_t n = ::write(m_master, data, size);
    if (n >= 0) return n;
    if (errno == EAGAIN || errno == EINTR || errno == EIO) return 0;
    return -1;
}

void PtyDevice::releaseExclusive() {
    if (m_slave >= 0) ::ioctl(m_slave, TIOCNXCL);
}

void PtyDevice::discardUnread() {
    if (m_slave >= 0) ::tcflush(m_slave, TCIFLUSH);
}

}  // namespace metersim
