#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/acquisition/SampleSink.h"
#include "core/publish/PublishSettings.h"

// The topics and payloads Kelvo publishes, as pure functions of a sample and the settings.
namespace publish {

using Message = std::pair<std::string, std::string>;  // topic, payload

// The power values in topic order: "total", "ch01".."ch12", "consumption", "solar",
// "balance" (solar minus consumption), with the channel-table record each one reads
// (-1 for the balance).
struct PowerValue {
    std::string key;
    int record;
};
const std::vector<PowerValue>& powerValues();
int64_t powerOf(const MeterSample& sample, const PowerValue& value);

// <prefix>/power/<key> with watts as decimal text, one per power value.
std::vector<Message> powerMessages(const std::string& prefix, const MeterSample& sample);
// {"time": ..., "power": {...}, "switch": {"ch01": "on"|"off", ...}}
std::string stateJson(const MeterSample& sample);
// {"days": {"consumption": [40], "solar": [40]}, "months": {"consumption": [12], "solar": [12]}}
std::string energyJson(const DayTable& days, const MonthTable& months);

// A JSON string literal of 8-bit text (Latin-1 mapped to UTF-8, controls escaped).
std::string jsonString(const std::string& text);
// The prefix reduced to letters, digits, '_' and '-' ("kelvo" when nothing is left).
std::string nodeId(const std::string& prefix);
// The name a channel shows: its name in the table, or "Channel NN" when that is empty.
std::string displayName(const MeterSample& sample, const PowerValue& value);

// Discovery configs: a sensor for every power value and, with switching allowed, a switch for
// every load channel; retained. `remove`: the same topics with empty payloads.
std::vector<Message> discoveryMessages(const PublishSettings& settings, const MeterSample& names,
                                       bool remove = false);
// <prefix>/switch/chNN/state "ON" or "OFF" for each load channel with a known state.
std::vector<Message> switchStateMessages(const std::string& prefix, const MeterSample& sample);

}  // namespace publish
