#include "core/device/ReplyBuffer.h"

#include "core/device/SerialPort.h"

void ReplyBuffer::collect(SerialPort& port) {
    m_bytes.clear();
    m_overflowed = false;
    uint8_t chunk[kReadSize];
    for (;;) {
        const long got = port.read(chunk, sizeof chunk);
        if (got <= 0) {
            return;
        }
        const size_t count =
            static_cast<size_t>(got) > sizeof chunk ? sizeof chunk : static_cast<size_t>(got);
        m_bytes.insert(m_bytes.end(), chunk, chunk + count);
        if (m_bytes.size() >= kLimit) {
            m_overflowed = true;
            port.purge();
            return;
        }
    }
}
