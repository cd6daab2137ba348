#include "core/device/posix/PosixSerialPort.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace {

using Steady = std::chrono::steady_clock;

// One byte on the line: a start bit, eight data bits and a stop bit at 9,600 baud.
constexpr auto kByteTime = std::chrono::microseconds(10'000'000 / 9600);

// Milliseconds left until `deadline`, rounded up so a poll never ends early; 0 when past.
int msUntil(Steady::time_point deadline) {
    const auto left = deadline - Steady::now();
    if (left <= Steady::duration::zero()) {
        return 0;
    }
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

}  // namespace

PosixSerialPort::PosixSerialPort(int fd, SerialTimings timings)
    : m_fd(fd),
      m_cancelFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_timings(timings),
      m_errorsSeen(errorCount()) {}

PosixSerialPort::~PosixSerialPort() {
    close();
    if (m_cancelFd >= 0) ::close(m_cancelFd);
}

void PosixSerialPort::cancel() {
    if (m_cancelFd < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_cancelFd, &one, sizeof one);
}

bool PosixSerialPort::pause(Steady::duration length) const {
    const int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(length).count());
    if (ms <= 0) return true;
    pollfd cancel{m_cancelFd, POLLIN, 0};
    if (m_cancelFd < 0) cancel.fd = -1;  // poll() then just waits
    return ::poll(&cancel, 1, ms) <= 0 || (cancel.revents & POLLIN) == 0;
}

int PosixSerialPort::waitFor(short events, int timeoutMs, short& revents) const {
    pollfd p[2] = {{m_fd, events, 0}, {m_cancelFd, POLLIN, 0}};
    const int ready = ::poll(p, m_cancelFd >= 0 ? 2 : 1, timeoutMs);
    revents = p[0].revents;
    if (ready < 0) return errno == EINTR ? kSignalled : -1;
    if (m_cancelFd >= 0 && (p[1].revents & POLLIN) != 0) return -1;
    return ready > 0 && p[0].revents != 0 ? 1 : 0;
}

bool PosixSerialPort::configure() {
    // Queue sizes (2,500 bytes each way) have no POSIX counterpart; the driver's buffers are
    // larger than any reply.
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0) {
        return false;
    }
    // Replies are binary: no line-end translation, no echo, no XON/XOFF or modem flow
    // control, no canonical line editing. Reads return at once; poll() does the timing.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B9600) != 0 || ::cfsetospeed(&tio, B9600) != 0) {
        return false;
    }
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        return false;
    }
    ::tcflush(m_fd, TCIOFLUSH);
    return true;
}

long PosixSerialPort::errorCount() const {
#if defined(__linux__) && defined(TIOCGICOUNT)
    serial_icounter_struct counts{};
    if (m_fd >= 0 && ::ioctl(m_fd, TIOCGICOUNT, &counts) == 0) {
        return static_cast<long>(counts.frame) + counts.overrun + counts.parity + counts.brk +
               counts.buf_overrun;
    }
#endif
    return -1;
}

bool PosixSerialPort::takeLineErrors() {
    // Errors since the port was opened or last asked.
    const long now = errorCount();
    const bool any = now > m_errorsSeen && m_errorsSeen >= 0;
    m_errorsSeen = now;
    return any;
}

void PosixSerialPort::purge() {
    if (m_fd >= 0) {
        ::tcflush(m_fd, TCIOFLUSH);
    }
}

long PosixSerialPort::write(const uint8_t* data, size_t size) {
    if (m_fd < 0) {
        return -1;
    }
    const auto deadline = Steady::now() + m_timings.writeLimit;
    size_t done = 0;
    while (done < size) {
        short revents = 0;
        const int ready = waitFor(POLLOUT, msUntil(deadline), revents);
        if (ready == kSignalled) {
            continue;
        }
        if (ready <= 0 || (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            break;  // timed out, cancelled or the line is gone
        }
        const ssize_t wrote = ::write(m_fd, data + done, size - done);
        if (wrote > 0) {
            done += static_cast<size_t>(wrote);
        } else if (wrote < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
    }
    // Like a timed-out write on the device, a partial write reports what went out.
    return done > 0 || size == 0 ? static_cast<long>(done) : -1;
}

long PosixSerialPort::read(uint8_t* buffer, size_t max) {
    if (m_fd < 0) {
        return -1;
    }
    const auto deadline = Steady::now() + m_timings.emptyRead;
    const int quietMs = static_cast<int>(m_timings.quietGap.count());
    size_t got = 0;
    while (got < max) {
        const int left = msUntil(deadline);
        const int wait = got == 0 ? left : std::min(left, quietMs);
        if (wait <= 0) {
            break;
        }
        short revents = 0;
        const int ready = waitFor(POLLIN, wait, revents);
        if (ready == kSignalled) {
            continue;
        }
        if (ready < 0 || (revents & (POLLERR | POLLNVAL)) != 0) {
            return got > 0 ? static_cast<long>(got) : -1;
        }
        if (ready == 0) {
            break;  // the line went quiet, or nothing came at all
        }
        const ssize_t n = ::read(m_fd, buffer + got, max - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
            // At 9,600 baud a byte comes about every millisecond, and poll() would wake for
            // each one: give the rest of the read the time it takes on the line first. A reply
            // shorter than the read ends at most that much later (64 ms for a 64-byte read).
            const Steady::duration rest = kByteTime * static_cast<long>(max - got);
            if (got < max && !pause(std::min(rest, Steady::duration(deadline - Steady::now()))))
                break;  // cancelled: what came is returned
        } else if (n == 0) {
            break;  // hung up
        } else if (errno != EAGAIN && errno != EINTR) {
            return got > 0 ? static_cast<long>(got) : -1;
        }
    }
    return static_cast<long>(got);
}

bool PosixSerialPort::close() {
    if (m_fd < 0) {
        return false;
    }
    ::ioctl(m_fd, TIOCNXCL);
    const int result = ::close(m_fd);
    m_fd = -1;
    return result == 0;
}
