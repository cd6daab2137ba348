#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/store/ChannelRecord.h"

class SerialLink;

// Selected state of one load channel in the channel control dialog.
inline constexpr int kStateOn = 0;
inline constexpr int kStateOff = 1;
inline constexpr int kStateNone = -1;  // neither button selected

inline constexpr int kSwitchableChannels = kLastLoad - kFirstLoad + 1;  // channels 1..12
using ChannelStates = std::array<int, kSwitchableChannels>;             // index 0 = channel 1

// The state byte of a live reading: '1' on, '3' off; anything else (0 before any reading)
// selects neither button.
int stateFromReading(uint8_t stateByte);

// Channels 1..12 of a channel table as dialog states.
ChannelStates statesFromReading(const ChannelTable& channels);

// The request text for the device: for every channel whose state changed, in ascending
// channel order, the state digit then the channel number, then a comma ("13,012,").
// Empty when nothing changed.
std::string buildSwitchRequest(const ChannelStates& before, const ChannelStates& after);

// A remote command for one load channel (1..12), sent even when the table already shows that
// state: the channel control dialog's exchange, its outcome as text ("Channel 07 switched
// on", "No device connected" or the exchange's failure) instead of a message box.
std::string switchOneChannel(SerialLink& link, int channel, bool on);
// The same, true when the meter acknowledged the switch.
bool switchOneChannel(SerialLink& link, int channel, bool on, std::string& outcome);
