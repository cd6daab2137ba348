#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/acquisition/SampleSink.h"
#include "core/publish/EnergyCounters.h"
#include "core/publish/PublishSettings.h"

// The topics and payloads Kelvo publishes, as pure functions of a sample and the settings.
namespace publish {

using Message = std::pair<std::string, std::string>;  // topic, payload

// The power values in topic order: "total", "ch01".."ch12", "consumption", "solar",
// "balance" (solar minus consumption), "grid" (consumption minus solar: positive while
// importing), with the channel-table record each one reads (negative for the worked-out ones).
struct PowerValue {
    std::string key;
    int record;
};
inline constexpr int kBalance = -1;
inline constexpr int kGrid = -2;
const std::vector<PowerValue>& powerValues();
int64_t powerOf(const MeterSample& sample, const PowerValue& value);

// Local time of Unix seconds: ISO 8601 with the offset ("2026-06-01T02:00:00+02:00"), the
// date ("2026-06-01") and the month ("2026-06").
std::string localTimeText(int64_t time);
std::string localDateText(int64_t time);
std::string localMonthText(int64_t time);

// <prefix>/power/<key> with watts as decimal text, one per power value.
std::vector<Message> powerMessages(const std::string& prefix, const MeterSample& sample);
// {"time": ..., "local_time": "...", "power": {...}, "switch": {"ch01": "on"|"off"|"unknown"}}
std::string stateJson(const MeterSample& sample);
// {"date": <local date of days[0]>, "month": <month of months[0]>, "days": {"consumption":
// [40], "solar": [40]}, "months": {"consumption": [12], "solar": [12]}}
std::string energyJson(const MeterSample& sample);
// <prefix>/energy/<counter> in kWh with three decimals, from watt-second counts in the order
// of EnergyCounters::names().
std::vector<Message> counterMessages(
    const std::string& prefix, const std::array<int64_t, EnergyCounters::kCount>& wattSeconds);
// <prefix>/energy/consumption_today and solar_today: the meter's own entry 0 of the day tables
// with the local date it belongs to, {"value": 12, "date": "2026-06-01"}.
std::vector<Message> todayMessages(const std::string& prefix, const MeterSample& sample);
// The outcome of a remote switch command: {"channel": "ch07", "requested": "ON",
// "outcome": "...", "time": "<local ISO 8601>"}.
std::string switchResultJson(const std::string& channel, const std::string& requested,
                             const std::string& outcome, int64_t time);

// A JSON string literal of 8-bit text (Latin-1 mapped to UTF-8, controls escaped).
std::string jsonString(const std::string& text);
// The prefix reduced to letters, digits, '_' and '-' ("kelvo" when nothing is left): the node
// id of a kelvo.ini written before node ids were kept, so its entities stay the same.
std::string nodeId(const std::string& prefix);
// Empty when `prefix` can be a topic prefix; otherwise why not: MQTT wildcards ('+', '#'), an
// empty level (leading, doubled or trailing '/') or nothing at all.
std::string topicPrefixProblem(const std::string& prefix);
// The name a channel shows: its name in the table, or "Channel NN" as the windows number it.
std::string displayName(const MeterSample& sample, const PowerValue& value);

// Discovery configs, retained: a power sensor for every power value, an energy sensor for
// every counter and for the meter's today values and, with switching allowed, a switch for
// every load channel.
std::vector<Message> discoveryMessages(const PublishSettings& settings, const MeterSample& names);
// Empty retained payloads that take configs back: every one Kelvo can publish, or only the
// switches.
std::vector<Message> discoveryRemovals(const PublishSettings& settings, bool switchesOnly);
// <prefix>/switch/chNN/state "ON", "OFF" or, with no known state, "None" (unknown).
std::vector<Message> switchStateMessages(const std::string& prefix, const MeterSample& sample);
// "ch01".."ch12".
std::string channelKey(int channel);

}  // namespace publish
