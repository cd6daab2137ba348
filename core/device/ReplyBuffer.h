#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class SerialPort;

// Collects one reply from the line in 64-byte reads until a read delivers nothing. The
// device sends no length, so a reply is bounded: a line that never falls quiet would
// otherwise grow the buffer forever. At the bound the rest of the line is discarded and the
// reply is not valid; the link then treats the exchange as unanswered.
class ReplyBuffer {
public:
    static constexpr size_t kReadSize = 64;
    // Eight times the longest reply layout (121 bytes), yet a line that never falls quiet
    // costs about 1.1 s at 9,600 baud (960 bytes/s): no longer than an unanswered read, so
    // a poll of three exchanges still fits the 5-second period.
    static constexpr size_t kLimit = 1024;

    // Reads until the line is quiet, a read fails, or the bound is reached.
    void collect(SerialPort& port);

    // Bytes arrived and the bound was not reached.
    bool arrived() const { return !m_bytes.empty() && !m_overflowed; }
    std::span<const uint8_t> bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    bool m_overflowed = false;
};
