#include "tools/meter-sim/FaultPlan.h"

#include <utility>

#include "tools/meter-sim/ReplyComposer.h"

namespace metersim {

FaultPlan::FaultPlan(const FaultOptions& options, uint64_t seed)
    : m_options(options), m_random(seed) {}

bool FaultPlan::chance(int percent) {
    // Always draw, so one option's share does not shift the draws of the others.
    const uint64_t draw = m_random() % 100;
    return static_cast<int>(draw) < percent;
}

ReplyShape FaultPlan::shape(std::vector<uint8_t> reply, bool isSwitch) {
    ReplyShape out;
    out.delayMs = m_options.delayMs;
    out.byteGapMs = m_options.trickleMs;
    const long index = m_commands++;

    const bool drop = chance(m_options.dropPercent);
    const bool corrupt = chance(m_options.corruptPercent);
    const bool cut = chance(m_options.shortPercent);
    const bool join = chance(m_options.joinPercent);
    const uint64_t cutDraw = m_random();

    if (m_babbling || (m_options.babbleAfter >= 0 && index >= m_options.babbleAfter)) {
        m_babbling = true;
        m_held.clear();
        out.note = "babbling";
        return out;
    }
    if (m_options.silentAfter >= 0 && index >= m_options.silentAfter &&
        (m_options.silentFor < 0 || index - m_options.silentAfter < m_options.silentFor)) {
        out.note = "silent";
        return out;
    }
    if (reply.empty()) {
        out.note = "no reply";
        return out;
    }
    if (isSwitch && m_options.badAck) {
        reply.assign(1, kSwitchNak);
        out.note = "bad acknowledgement";
    }
    if (drop) {
        out.note = "dropped";
        return out;
    }
    if (corrupt && reply.size() >= 2 && !isSwitch) {
        reply.back() ^= 0x5A;  // any non-zero change breaks an additive checksum
        out.note += out.note.empty() ? "corrupt checksum" : ", corrupt checksum";
    }
    if (cut && reply.size() >= 2) {
        reply.resize(1 + cutDraw % (reply.size() - 1));
        out.note += (out.note.empty() ? "" : ", ") + std::string("short");
    }
    if (join && m_held.empty()) {
        m_held = std::move(reply);
        out.note += (out.note.empty() ? "" : ", ") + std::string("held for joining");
        return out;
    }
    if (!m_held.empty()) {
        reply.insert(reply.begin(), m_held.begin(), m_held.end());
        m_held.clear();
        out.note += (out.note.empty() ? "" : ", ") + std::string("joined to the held reply");
    }
    out.bytes = std::move(reply);
    return out;
}

}  // namespace metersim
