#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/base/LockHolder.h"

// One open serial port, as the link needs it. The POSIX implementation lives in posix/;
// tests put a scripted port in its place.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Queue sizes, 9,600 baud 8N1 with parity checking off (everything else as the port
    // reported it), purge of both directions, read and write timeouts.
    virtual bool configure() = 0;
    // Reads and clears the line's error state; true when any error flag was set.
    virtual bool takeLineErrors() = 0;
    // Aborts pending transfers and discards what is queued in both directions.
    virtual void purge() = 0;
    // One write; the number of bytes written, or -1. Gives up after 3 s.
    virtual long write(const uint8_t* data, size_t size) = 0;
    // One read of up to `max` bytes: it ends 20 ms after the line goes quiet once bytes have
    // arrived, or after 1,300 ms when none arrive. Bytes delivered, 0 for none, -1 on failure.
    virtual long read(uint8_t* buffer, size_t max) = 0;
    // True when the platform closed the port.
    virtual bool close() = 0;
    // Ends a read or write under way on another thread at once, and every later one: the link
    // is being closed and nothing it would still bring counts. Safe from any thread while the
    // port exists.
    virtual void cancel() {}
};

// Opens COM port n (1..99) by its name ("Com9", "\\.\Com10"); nullptr when it cannot be
// opened (missing, busy, no permission, not a terminal).
class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    virtual std::unique_ptr<SerialPort> open(int portNumber) = 0;
    // Whether port n is on the machine at all, without opening it: an adapter that was pulled
    // out, or a device that went away, is not.
    virtual bool present(int /*portNumber*/) const { return true; }
    // The program holding port n locked, so that open() turns it away; nothing when no other
    // process holds it or nobody can tell.
    virtual std::optional<LockHolder> holder(int /*portNumber*/) const { return std::nullopt; }
};
