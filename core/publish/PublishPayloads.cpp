#include "core/publish/PublishPayloads.h"

#include <cstdio>

#include "core/acquisition/ChannelSwitchRequest.h"
#include "core/base/LocalTimeFormat.h"

#ifndef KELVO_VERSION
#define KELVO_VERSION "unknown"
#endif

namespace publish {

namespace {

std::string twoDigits(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

std::string numberList(const int32_t* values, int n) {
    return "[" + commaSeparated(values, n) + "]";
}

std::string deviceBlock(const std::string& node) {
    return "{\"identifiers\":[" + jsonString(node) +
           "],\"name\":\"Kelvo\",\"manufacturer\":\"Kelvo\",\"model\":\"Kelvo home energy "
           "monitor\",\"sw_version\":\"" KELVO_VERSION "\"}";
}

// What every config carries: available only while Kelvo is online and the meter's link is up,
// so a dashboard shows "unavailable" instead of a frozen last value.
std::string commonKeys(const PublishSettings& settings, const std::string& uniqueKey) {
    return ",\"unique_id\":" + jsonString(settings.nodeId + "_" + uniqueKey) +
           ",\"availability\":[{\"topic\":" + jsonString(settings.prefix + "/status") +
           "},{\"topic\":" + jsonString(settings.prefix + "/link") +
           ",\"payload_available\":\"connected\",\"payload_not_available\":\"disconnected\"}],"
           "\"availability_mode\":\"all\",\"device\":" +
           deviceBlock(settings.nodeId) +
           ",\"origin\":{\"name\":\"Kelvo\",\"sw_version\":\"" KELVO_VERSION "\"}}";
}

std::string configTopic(const PublishSettings& settings, const char* platform,
                        const std::string& key) {
    return settings.discoveryPrefix + "/" + platform + "/" + settings.nodeId + "/" + key +
           "/config";
}

// The energy sensors: every counter, then the meter's today values.
struct EnergySensor {
    std::string key;  // under <prefix>/energy/
    std::string name;
    bool today;
};

std::vector<EnergySensor> energySensors(const MeterSample& names) {
    std::vector<EnergySensor> out;
    const auto& counters = EnergyCounters::names();
    for (int k = 0; k < 12; ++k)
        out.push_back(
            {counters[k], displayName(names, {counters[k], kFirstLoad + k}) + " energy", false});
    out.push_back(
        {counters[12], displayName(names, {"consumption", kConsumptionRecord}) + " energy", false});
    out.push_back({counters[13], displayName(names, {"solar", kSolarRecord}) + " energy", false});
    out.push_back({counters[EnergyCounters::kGridImport], "Grid import", false});
    out.push_back({counters[EnergyCounters::kGridExport], "Grid export", false});
    out.push_back({"consumption_today", "Consumption today", true});
    out.push_back({"solar_today", "Solar today", true});
    return out;
}

}  // namespace

const std::vector<PowerValue>& powerValues() {
    static const std::vector<PowerValue> values = [] {
        std::vector<PowerValue> v{{"total", kTotalRecord}};
        for (int k = kFirstLoad; k <= kLastLoad; ++k) v.push_back({channelKey(k), k});
        v.push_back({"consumption", kConsumptionRecord});
        v.push_back({"solar", kSolarRecord});
        v.push_back({"balance", kBalance});
        v.push_back({"grid", kGrid});
        return v;
    }();
    return values;
}

int64_t powerOf(const MeterSample& sample, const PowerValue& value) {
    if (value.record >= 0) return static_cast<uint32_t>(sample.power[value.record]);
    const int64_t balance =
        static_cast<int64_t>(static_cast<uint32_t>(sample.power[kSolarRecord])) -
        static_cast<uint32_t>(sample.power[kConsumptionRecord]);
    return value.record == kGrid ? -balance : balance;
}

std::string localTimeText(int64_t time) {
    std::string text = formatLocalTime(time, "%Y-%m-%dT%H:%M:%S%z");  // offset as +0200
    if (text.size() > 2) text.insert(text.size() - 2, ":");           // ISO 8601 wants +02:00
    return text;
}

std::string localDateText(int64_t time) { return formatLocalTime(time, "%Y-%m-%d"); }

std::string localMonthText(int64_t time) { return formatLocalTime(time, "%Y-%m"); }

std::vector<Message> powerMessages(const std::string& prefix, const MeterSample& sample) {
    std::vector<Message> out;
    for (const PowerValue& value : powerValues())
        out.emplace_back(prefix + "/power/" + value.key, std::to_string(powerOf(sample, value)));
    return out;
}

std::string stateJson(const MeterSample& sample) {
    std::string out = "{\"time\":" + std::to_string(sample.time) +
                      ",\"local_time\":" + jsonString(localTimeText(sample.time)) + ",\"power\":{";
    bool first = true;
    for (const PowerValue& value : powerValues()) {
        if (!first) out += ',';
        first = false;
        out += "\"" + value.key + "\":" + std::to_string(powerOf(sample, value));
    }
    out += "},\"switch\":{";
    for (int k = kFirstLoad; k <= kLastLoad; ++k) {
        if (k > kFirstLoad) out += ',';
        const int state = stateFromReading(sample.state[k]);
        out += "\"" + channelKey(k) + "\":\"" +
               (state == kStateOn    ? "on"
                : state == kStateOff ? "off"
                                     : "unknown") +
               "\"";
    }
    return out + "}}";
}

std::string energyJson(const MeterSample& sample) {
    const DayTable& days = sample.days;
    const MonthTable& months = sample.months;
    return "{\"date\":" + jsonString(localDateText(sample.time)) +
           ",\"month\":" + jsonString(localMonthText(sample.time)) +
           ",\"days\":{\"consumption\":" + numberList(days.consumption, kDays) +
           ",\"solar\":" + numberList(days.solar, kDays) +
           "},\"months\":{\"consumption\":" + numberList(months.consumption, kMonths) +
           ",\"solar\":" + numberList(months.solar, kMonths) + "}}";
}

std::vector<Message> counterMessages(const std::string& prefix,
                                     const std::array<int64_t, EnergyCounters::kCount>& counts) {
    std::vector<Message> out;
    for (int k = 0; k < EnergyCounters::kCount; ++k)
        out.emplace_back(prefix + "/energy/" + EnergyCounters::names()[k],
                         EnergyCounters::kwhText(counts[k]));
    return out;
}

std::vector<Message> todayMessages(const std::string& prefix, const MeterSample& sample) {
    const std::string date = jsonString(localDateText(sample.time));
    return {
        {prefix + "/energy/consumption_today",
         "{\"value\":" + std::to_string(sample.days.consumption[0]) + ",\"date\":" + date + "}"},
        {prefix + "/energy/solar_today",
         "{\"value\":" + std::to_string(sample.days.solar[0]) + ",\"date\":" + date + "}"}};
}

std::string switchResultJson(const std::string& channel, const std::string& requested,
                             const std::string& outcome, int64_t time) {
    return "{\"channel\":" + jsonString(channel) + ",\"requested\":" + jsonString(requested) +
           ",\"outcome\":" + jsonString(outcome) + ",\"time\":" + jsonString(localTimeText(time)) +
           "}";
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else if (c >= 0x80) {  // the table's names are 8-bit text, read as Latin-1
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string nodeId(const std::string& prefix) {
    std::string node;
    for (char c : prefix) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-';
        node += keep ? c : '_';
    }
    return node.find_first_not_of('_') == std::string::npos ? "kelvo" : node;
}

std::string topicPrefixProblem(const std::string& prefix) {
    if (prefix.empty()) return "it is empty";
    if (prefix.find_first_of("+#") != std::string::npos)
        return "'+' and '#' are wildcards, not part of a topic";
    if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos)
        return "it has an empty level (a leading, doubled or trailing '/')";
    return "";
}

std::string displayName(const MeterSample& sample, const PowerValue& value) {
    if (value.record == kBalance) return "Balance";
    if (value.record == kGrid) return "Grid";
    const std::string& name = sample.names[value.record];
    if (!name.empty()) return name;
    if (value.record == kTotalRecord) return "Total";
    return "Channel " + twoDigits(shownChannelNumber(value.record));
}

std::vector<Message> discoveryMessages(const PublishSettings& settings, const MeterSample& names) {
    std::vector<Message> out;
    for (const PowerValue& value : powerValues()) {
        out.emplace_back(
            configTopic(settings, "sensor", value.key),
            "{\"name\":" + jsonString(displayName(names, value)) +
                ",\"state_topic\":" + jsonString(settings.prefix + "/power/" + value.key) +
                ",\"device_class\":\"power\",\"unit_of_measurement\":\"W\","
                "\"state_class\":\"measurement\"" +
                commonKeys(settings, value.key));
    }
    for (const EnergySensor& sensor : energySensors(names)) {
        const std::string topic = settings.prefix + "/energy/" + sensor.key;
        out.emplace_back(configTopic(settings, "sensor", "energy_" + sensor.key),
                         "{\"name\":" + jsonString(sensor.name) +
                             ",\"state_topic\":" + jsonString(topic) +
                             (sensor.today ? ",\"value_template\":\"{{ value_json.value }}\","
                                             "\"json_attributes_topic\":" +
                                                 jsonString(topic)
                                           : std::string()) +
                             ",\"device_class\":\"energy\",\"unit_of_measurement\":\"kWh\","
                             "\"state_class\":\"total_increasing\"" +
                             commonKeys(settings, "energy_" + sensor.key));
    }
    if (!settings.allowSwitching) return out;
    for (int k = kFirstLoad; k <= kLastLoad; ++k) {
        const std::string key = channelKey(k);
        const std::string base = settings.prefix + "/switch/" + key;
        out.emplace_back(configTopic(settings, "switch", key),
                         "{\"name\":" + jsonString(displayName(names, {key, k})) +
                             ",\"command_topic\":" + jsonString(base + "/set") +
                             ",\"state_topic\":" + jsonString(base + "/state") +
                             ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\"" +
                             commonKeys(settings, key + "_switch"));
    }
    return out;
}

std::vector<Message> discoveryRemovals(const PublishSettings& settings, bool switchesOnly) {
    PublishSettings every = settings;
    every.allowSwitching = true;
    std::vector<Message> out;
    for (auto& [topic, payload] : discoveryMessages(every, MeterSample{})) {
        if (switchesOnly && topic.find("/switch/") == std::string::npos) continue;
        out.emplace_back(std::move(topic), "");
    }
    return out;
}

std::vector<Message> switchStateMessages(const std::string& prefix, const MeterSample& sample) {
    std::vector<Message> out;
    for (int k = kFirstLoad; k <= kLastLoad; ++k) {
        const int state = stateFromReading(sample.state[k]);
        out.emplace_back(prefix + "/switch/" + channelKey(k) + "/state", state == kStateOn ? "ON"
                                                                         : state == kStateOff
                                                                             ? "OFF"
                                                                             : "None");
    }
    return out;
}

std::string channelKey(int channel) { return "ch" + twoDigits(channel); }

}  // namespace publish
