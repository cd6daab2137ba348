#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace metersim {

// Misbehaviour the simulated meter can be told to show, so every failure path of the
// program's link can be reached on purpose. Shares are per cent of replies.
struct FaultOptions {
    long silentAfter = -1;   // answer this many commands, then nothing; 0 = silent from start
    long silentFor = -1;     // with silentAfter: the silence lasts this many commands (-1: ever)
    long babbleAfter = -1;   // answer this many commands, then send noise without end
    int dropPercent = 0;     // replies left out
    int corruptPercent = 0;  // replies with a wrong checksum byte
    int shortPercent = 0;    // replies cut off before their end
    int joinPercent = 0;     // replies held back and sent together with the next one
    bool badAck = false;     // switch commands answered with something other than 0x0D
    int delayMs = 0;         // wait before a reply starts
    int trickleMs = 0;       // extra gap between the bytes of a reply
};

// What goes on the line for one command.
struct ReplyShape {
    std::vector<uint8_t> bytes;  // empty: nothing is sent
    int delayMs = 0;
    int byteGapMs = 0;
    std::string note;  // what was done to the reply, for the frame log
};

// Applies the fault options to each composed reply, drawing its chances from a generator
// seeded once, so a run is repeatable with the same seed and the same commands.
class FaultPlan {
public:
    FaultPlan(const FaultOptions& options, uint64_t seed);

    // `reply` is what a healthy meter would send; `isSwitch` marks a switch command.
    ReplyShape shape(std::vector<uint8_t> reply, bool isSwitch);

    // Once babbling starts it never stops.
    bool babbling() const { return m_babbling; }
    uint8_t babbleByte() { return static_cast<uint8_t>(m_random()); }

    // A port closed or re-opened loses a reply that was held back for joining.
    void forgetHeld() { m_held.clear(); }

private:
    bool chance(int percent);

    FaultOptions m_options;
    std::mt19937_64 m_random;
    long m_commands = 0;  // commands seen so far
    bool m_babbling = false;
    std::vector<uint8_t> m_held;  // a reply waiting to be joined to the next one
};

}  // namespace metersim
