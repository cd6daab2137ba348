#pragma once

#include <chrono>

#include "core/device/SerialPort.h"

// The line timings the device exchanges rely on. Tests shorten them; the program uses the
// defaults.
struct SerialTimings {
    // A read that has bytes ends once the line has been quiet this long.
    std::chrono::milliseconds quietGap{20};
    // A read ends after this long in all (20 ms + 20 ms per byte of a 64-byte read).
    std::chrono::milliseconds emptyRead{1300};
    // A write gives up after this long.
    std::chrono::milliseconds writeLimit{3000};
};

// A serial port on a POSIX terminal: raw 9,600 baud 8N1, timing by poll(). Owns the file
// descriptor it is given, which must be open non-blocking.
class PosixSerialPort final : public SerialPort {
public:
    explicit PosixSerialPort(int fd, SerialTimings timings = {});
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool configure() override;
    bool takeLineErrors() override;
    void purge() override;
    long write(const uint8_t* data, size_t size) override;
    long read(uint8_t* buffer, size_t max) override;
    bool close() override;
    void cancel() override;

private:
    // poll() on the line and on the cancel event: 1 when the line is ready, 0 on timeout,
    // kSignalled when a signal cut the wait short, -1 on failure or once cancelled; `revents`
    // of the line.
    static constexpr int kSignalled = 2;
    int waitFor(short events, int timeoutMs, short& revents) const;
    // Waits `length` unless cancel() comes first (false).
    bool pause(std::chrono::steady_clock::duration length) const;

    // Framing, overrun, parity and break counts of the UART; -1 when the driver keeps none
    // (pseudo-terminals, most USB adapters).
    long errorCount() const;

    int m_fd;
    int m_cancelFd;  // an eventfd, readable once cancel() was called
    SerialTimings m_timings;
    long m_errorsSeen;
};
