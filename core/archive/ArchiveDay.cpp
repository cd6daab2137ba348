#include "core/archive/ArchiveDay.h"

std::array<double, kChannelRecords> dayEnergyKwh(const ArchiveDay& day) {
    std::array<double, kChannelRecords> kwh{};
    for (int k = 0; k < kChannelRecords; ++k) {
        int64_t wattSlots = day.unplacedWatts[k];
        for (int32_t watts : day.power[k]) {
            if (watts != kNoSample) wattSlots += watts;
        }
        kwh[k] = static_cast<double>(wattSlots) * 5.0 / 3.6e6;  // W x 5 s = J; 3.6 MJ a kWh
    }
    return kwh;
}
