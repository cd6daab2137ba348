#pragma once

#include <cstdint>

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
