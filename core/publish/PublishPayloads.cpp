#include "core/publish/PublishPayloads.h"

#include <cstdio>

#include "core/acquisition/ChannelSwitchRequest.h"

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
           "monitor\"}";
}

}  // namespace

const std::vector<PowerValue>& powerValues() {
    static const std::vector<PowerValue> values = [] {
        std::vector<PowerValue> v{{"total", kTotalRecord}};
        for (int k = kFirstLoad; k <= kLastLoad; ++k) v.push_back({"ch" + twoDigits(k), k});
        v.push_back({"consumption", kConsumptionRecord});
        v.push_back({"solar", kSolarRecord});
        v.push_back({"balance", -1});
        return v;
    }();
    return values;
}

int64_t powerOf(const MeterSample& sample, const PowerValue& value) {
    if (value.record >= 0) return static_cast<uint32_t>(sample.power[value.record]);
    return static_cast<int64_t>(static_cast<uint32_t>(sample.power[kSolarRecord])) -
           static_cast<uint32_t>(sample.power[kConsumptionRecord]);
}

std::vector<Message> powerMessages(const std::string& prefix, const MeterSample& sample) {
    std::vector<Message> out;
    for (const PowerValue& value : powerValues())
        out.emplace_back(prefix + "/power/" + value.key, std::to_string(powerOf(sample, value)));
    return out;
}

std::string stateJson(const MeterSample& sample) {
    std::string out = "{\"time\":" + std::to_string(sample.time) + ",\"power\":{";
    bool first = true;
    for (const PowerValue& value : powerValues()) {
        if (!first) out += ',';
        first = false;
        out += "\"" + value.key + "\":" + std::to_string(powerOf(sample, value));
    }
    out += "},\"switch\":{";
    for (int k = kFirstLoad; k <= kLastLoad; ++k) {
        if (k > kFirstLoad) out += ',';
        out += "\"ch" + twoDigits(k) + "\":\"" +
               (stateFromReading(sample.state[k]) == kStateOn ? "on" : "off") + "\"";
    }
    return out + "}}";
}

std::string energyJson(const DayTable& days, const MonthTable& months) {
    return "{\"days\":{\"consumption\":" + numberList(days.consumption, kDays) +
           ",\"solar\":" + numberList(days.solar, kDays) +
           "},\"months\":{\"consumption\":" + numberList(months.consumption, kMonths) +
           ",\"solar\":" + numberList(months.solar, kMonths) + "}}";
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

std::string displayName(const MeterSample& sample, const PowerValue& value) {
    if (value.record < 0) return "Balance";
    const std::string& name = sample.names[value.record];
    if (!name.empty()) return name;
    if (value.record == kTotalRecord) return "Total";
    return "Channel " + twoDigits(value.record);
}

std::vector<Message> discoveryMessages(const PublishSettings& settings, const MeterSample& names,
                                       bool remove) {
    std::vector<Message> out;
    const std::string node = nodeId(settings.prefix);
    const std::string availability = settings.prefix + "/status";
    for (const PowerValue& value : powerValues()) {
        const std::string topic =
            settings.discoveryPrefix + "/sensor/" + node + "/" + value.key + "/config";
        if (remove) {
            out.emplace_back(topic, "");
            continue;
        }
        out.emplace_back(
            topic, "{\"name\":" + jsonString(displayName(names, value)) +
                       ",\"unique_id\":" + jsonString(node + "_" + value.key) +
                       ",\"state_topic\":" + jsonString(settings.prefix + "/power/" + value.key) +
                       ",\"device_class\":\"power\",\"unit_of_measurement\":\"W\","
                       "\"state_class\":\"measurement\",\"availability_topic\":" +
                       jsonString(availability) + ",\"device\":" + deviceBlock(node) + "}");
    }
    if (!settings.allowSwitching && !remove) return out;
    for (int k = kFirstLoad; k <= kLastLoad; ++k) {
        const std::string key = "ch" + twoDigits(k);
        const std::string topic =
            settings.discoveryPrefix + "/switch/" + node + "/" + key + "/config";
        if (remove) {
            out.emplace_back(topic, "");
            continue;
        }
        const std::string base = settings.prefix + "/switch/" + key;
        out.emplace_back(topic, "{\"name\":" + jsonString(displayName(names, {key, k})) +
                                    ",\"unique_id\":" + jsonString(node + "_" + key + "_switch") +
                                    ",\"command_topic\":" + jsonString(base + "/set") +
                                    ",\"state_topic\":" + jsonString(base + "/state") +
                                    ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\","
                                    "\"availability_topic\":" +
                                    jsonString(availability) + ",\"device\":" + deviceBlock(node) +
                                    "}");
    }
    return out;
}

std::vector<Message> switchStateMessages(const std::string& prefix, const MeterSample& sample) {
    std::vector<Message> out;
    for (int k = kFirstLoad; k <= kLastLoad; ++k) {
        const int state = stateFromReading(sample.state[k]);
        if (state == kStateNone) continue;
        out.emplace_back(prefix + "/switch/ch" + twoDigits(k) + "/state",
                         state == kStateOn ? "ON" : "OFF");
    }
    return out;
}

}  // namespace publish
