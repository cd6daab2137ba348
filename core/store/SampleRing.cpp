#include "core/store/SampleRing.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int64_t kDaySeconds = 86400;

// The end time of the store: the time the next sample belongs to.
int64_t endTime(const SampleStore& store) {
    return static_cast<int64_t>(store.startTime) + int64_t{kSamplePeriodSeconds} * store.count;
}

}  // namespace

void resetStore(SampleStore& store, int64_t now) {
    std::memset(&store, 0, sizeof store);
    store.startTime = static_cast<int32_t>(now);
}

bool storeIsConsistent(const SampleStore& store) {
    return store.count <= kRingSlots && store.startIndex < kRingSlots &&
           store.writeIndex < kRingSlots &&
           store.writeIndex == (store.startIndex + store.count) % kRingSlots;
}

void advanceStore(SampleStore& store, int64_t now) {
    store.writeIndex = static_cast<uint16_t>((store.writeIndex + 1) % kRingSlots);
    if (store.count < kRingSlots) {
        ++store.count;
    } else {
        store.startTime = static_cast<int32_t>(now - kDaySeconds);
        store.startIndex = static_cast<uint16_t>((store.startIndex + 1) % kRingSlots);
    }
}

void fillGap(SampleStore& store, int64_t now) {
    const int64_t end = endTime(store);
    if (end >= now) return;
    // Rounds of the step loop: it runs while t < now with t = end, end + 5, ...
    const int64_t steps = (now - end + kSamplePeriodSeconds - 1) / kSamplePeriodSeconds;

    const int64_t zeroed = std::min<int64_t>(steps, kRingSlots);
    const int first = store.writeIndex;
    const int run = static_cast<int>(std::min<int64_t>(zeroed, kRingSlots - first));
    for (auto& ring : store.samples) {
        std::fill_n(&ring[first], run, 0);
        std::fill_n(&ring[0], zeroed - run, 0);
    }

    const int64_t grown = std::min<int64_t>(steps, kRingSlots - store.count);
    const int64_t dropped = steps - grown;
    store.writeIndex = static_cast<uint16_t>((store.writeIndex + steps) % kRingSlots);
    store.count = static_cast<uint16_t>(store.count + grown);
    store.startIndex = static_cast<uint16_t>((store.startIndex + dropped) % kRingSlots);
    store.startTime = static_cast<int32_t>(store.startTime + kSamplePeriodSeconds * dropped);
}
