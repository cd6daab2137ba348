#include "core/acquisition/ChannelSwitchRequest.h"

#include <cstdio>

#include "core/device/SerialLink.h"

int stateFromReading(uint8_t stateByte) {
    switch (stateByte) {
        case '1':
            return kStateOn;
        case '3':
            return kStateOff;
        default:
            return kStateNone;
    }
}

ChannelStates statesFromReading(const ChannelTable& channels) {
    ChannelStates states{};
    for (int k = 0; k < kSwitchableChannels; ++k) {
        states[k] = stateFromReading(channels[kFirstLoad + k].state);
    }
    return states;
}

std::string buildSwitchRequest(const ChannelStates& before, const ChannelStates& after) {
    std::string request;
    for (int k = 0; k < kSwitchableChannels; ++k) {
        // A channel can only be asked to go on or off; "neither" is never sent.
        if (after[k] == before[k] || after[k] == kStateNone) continue;
        request += std::to_string(after[k]);
        request += std::to_string(kFirstLoad + k);
        request += ',';
    }
    return request;
}

std::string switchOneChannel(SerialLink& link, int channel, bool on) {
    std::string outcome;
    switchOneChannel(link, channel, on, outcome);
    return outcome;
}

bool switchOneChannel(SerialLink& link, int channel, bool on, std::string& outcome) {
    if (channel < kFirstLoad || channel > kLastLoad) {
        outcome = "Unknown channel";
        return false;
    }
    if (!link.isOpen()) {
        outcome = "No device connected";
        return false;
    }
    ChannelStates before;
    before.fill(kStateNone);
    ChannelStates after = before;
    after[channel - kFirstLoad] = on ? kStateOn : kStateOff;
    if (!link.switchChannels(buildSwitchRequest(before, after), outcome)) return false;
    char done[40];
    std::snprintf(done, sizeof done, "Channel %02d switched %s", channel, on ? "on" : "off");
    outcome = done;
    return true;
}
