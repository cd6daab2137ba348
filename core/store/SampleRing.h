#pragma once

#include <cstdint>

#include "core/store/SampleStore.h"

// Ring arithmetic of the 24-hour store, free of locks and clocks: callers hold the data lock
// and pass the current time (seconds since 1970, 64-bit).

// Zeroes every field and ring and sets startTime to `now` (a new document's store).
void resetStore(SampleStore& store, int64_t now);

// True when the header can be trusted for addressing: count <= 17,280, both indices in range
// and writeIndex == (startIndex + count) % 17,280.
bool storeIsConsistent(const SampleStore& store);

// Slot of the j-th held sample (0 <= j < count).
inline int heldSlot(const SampleStore& store, int64_t j) {
    return static_cast<int>((store.startIndex + j) % kRingSlots);
}

// One step after a sample has been written at writeIndex. A full store drops its oldest
// sample and takes its start time from the clock: now - 86,400 s.
void advanceStore(SampleStore& store, int64_t now);

// Zero samples for every 5-second step from the store's end time up to `now`. The result is
// that of the plain step loop (zero the slot at writeIndex, move on one slot; a full store
// drops its oldest sample and its start time moves by exactly 5 s), but a gap of any length
// costs at most one pass over the rings.
void fillGap(SampleStore& store, int64_t now);
