#include "tools/meter-sim/CommandFrameScanner.h"

namespace metersim {

namespace {
constexpr uint8_t kFrameStart = 0xAA;
constexpr uint8_t kFrameEnd = 0xAD;
}  // namespace

size_t CommandFrameScanner::feed(const uint8_t* data, size_t size,
                                 std::vector<CommandFrame>& frames) {
    size_t skipped = 0;
    for (size_t i = 0; i < size; ++i) {
        if (m_have == 0 && data[i] != kFrameStart) {
            ++skipped;
            continue;
        }
        m_frame[m_have++] = data[i];
        if (m_have < m_frame.size()) continue;
        if (m_frame[3] == kFrameEnd) {
            frames.push_back({m_frame[1], m_frame[2]});
            m_have = 0;
            continue;
        }
        // Not a frame: drop the leading byte and resume at the next start byte, if any.
        ++skipped;
        size_t next = 1;
        while (next < m_frame.size() && m_frame[next] != kFrameStart) {
            ++next;
            ++skipped;
        }
        size_t kept = 0;
        for (size_t j = next; j < m_frame.size(); ++j) m_frame[kept++] = m_frame[j];
        m_have = kept;
    }
    return skipped;
}

}  // namespace metersim
