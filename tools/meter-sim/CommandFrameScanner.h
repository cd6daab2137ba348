#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace metersim {

struct CommandFrame {
    uint8_t command = 0;
    uint8_t argument = 0;
};

// Cuts the received byte stream into AA cmd arg AD frames. Bytes that cannot start or
// complete a frame are skipped one at a time, so a stray byte costs at most one frame.
class CommandFrameScanner {
public:
    // Appends every frame completed by these bytes; returns how many bytes were skipped.
    size_t feed(const uint8_t* data, size_t size, std::vector<CommandFrame>& frames);
    // Forgets a partly received frame (the line went quiet or the port was re-opened).
    void reset() { m_have = 0; }
    bool partial() const { return m_have > 0; }

private:
    std::array<uint8_t, 4> m_frame{};
    size_t m_have = 0;
};

}  // namespace metersim
