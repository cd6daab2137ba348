#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

#include "core/store/SampleStore.h"

// What the chart benchmarks paint: a full store of slow waves, one per ring, and the time of
// the paint.
inline constexpr int64_t kPaintTime = 1777644000;

inline std::unique_ptr<SampleStore> busyStore() {
    auto store = std::make_unique<SampleStore>();
    for (int ring = 0; ring < kRingCount; ++ring)
        for (int slot = 0; slot < kRingSlots; ++slot)
            store->samples[ring][slot] =
                static_cast<int32_t>(1500 + 1400 * std::sin(slot / 97.0 + ring));
    store->writeIndex = 1234;
    store->count = kRingSlots;
    return store;
}
