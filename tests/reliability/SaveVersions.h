#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/config/DastConfig.h"
#include "core/store/DataFile.h"

// Version k of the two files a save loop writes: every version differs from the previous one
// in its fields and in samples spread over the whole image, so a torn file cannot pass for a
// complete version.
namespace save_versions {

inline DastConfig config(uint32_t k, const std::string& dir) {
    DastConfig c = DastConfig::defaults();
    c.appDir = dir;
    c.exportInterval = 5 + k;
    c.firstLoadTime = k;
    c.extraData.assign(k % 200, static_cast<uint8_t>(k));
    std::snprintf(c.channels[1].name, sizeof c.channels[1].name, "Load %u", k);
    return c;
}

struct Data {
    DayTable days{};
    MonthTable months{};
    std::unique_ptr<SampleStore> store = std::make_unique<SampleStore>();
};

inline Data data(uint32_t k) {
    Data d;
    *d.store = SampleStore{};
    d.days.solar[0] = static_cast<int32_t>(k);
    d.months.consumption[11] = static_cast<int32_t>(k);
    d.store->startTime = static_cast<int32_t>(1'700'000'000 + k);
    d.store->count = static_cast<uint16_t>(k % kRingSlots);
    d.store->startIndex = 0;
    d.store->writeIndex = d.store->count;
    for (int ring = 0; ring < kRingCount; ++ring) {
        for (int slot = 0; slot < kRingSlots; slot += 997) {
            d.store->samples[ring][slot] = static_cast<int32_t>(k * 31 + ring + slot);
        }
    }
    return d;
}

inline std::vector<uint8_t> configImage(uint32_t k, const std::string& dir, uint32_t saveTime) {
    DastConfig c = config(k, dir);
    c.lastSaveTime = saveTime;
    return writeConfigImage(c);
}

inline std::vector<uint8_t> dataImage(uint32_t k) {
    const Data d = data(k);
    return DataFile::encode(d.days, d.months, *d.store);
}

}  // namespace save_versions
