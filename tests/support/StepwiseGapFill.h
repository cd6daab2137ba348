#pragma once

#include <cstdint>

#include "core/store/SampleStore.h"

// The plain step loop of the offline gap fill, one round per missing 5-second step: the
// reference the fast fillGap of core/store must match, for its test and the benchmark.
inline void fillGapStepwise(SampleStore& store, int64_t now) {
    int64_t t = static_cast<int64_t>(store.startTime) + int64_t{kSamplePeriodSeconds} * store.count;
    int64_t s = store.startTime;
    while (t < now) {
        for (auto& ring : store.samples) ring[store.writeIndex] = 0;
        store.writeIndex = static_cast<uint16_t>((store.writeIndex + 1) % kRingSlots);
        if (store.count < kRingSlots) {
            ++store.count;
        } else {
            // A full store drops its oldest sample; the start time moves by one step.
            s += kSamplePeriodSeconds;
            store.startIndex = static_cast<uint16_t>((store.startIndex + 1) % kRingSlots);
        }
        t += kSamplePeriodSeconds;
    }
    store.startTime = static_cast<int32_t>(s);
}
