#pragma once

#include <cstdint>
#include <string>

// Energy series as last read from the device. Each value holds a 16-bit count (kWh).
inline constexpr int kDays = 40;
inline constexpr int kMonths = 12;

struct DayTable {
    int32_t consumption[kDays];
    int32_t solar[kDays];
};

struct MonthTable {
    int32_t consumption[kMonths];
    int32_t solar[kMonths];
};

// Values of one series in table order, comma-separated ("12,0,7").
inline std::string commaSeparated(const int32_t* values, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i) text += ',';
        text += std::to_string(values[i]);
    }
    return text;
}
