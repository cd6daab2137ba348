#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kRingCount = 16;
inline constexpr int kRingSlots = 17280;  // 24 hours of 5-second samples
inline constexpr int kSamplePeriodSeconds = 5;

// The 24-hour store: sixteen rings of 5-second samples in watts. This struct is the exact
// image kept in dast.data after its 424-byte prefix; it is still written field by field.
// The j-th held sample (0 <= j < count) lies in slot (startIndex + j) % kRingSlots and
// belongs to startTime + 5 * j.
struct SampleStore {
    int32_t startTime;   // seconds since 1970-01-01 UTC of the oldest held sample
    uint16_t count;      // 0..17280
    uint16_t startIndex;  // slot of the oldest sample
    uint16_t writeIndex;  // slot the next sample goes to; (startIndex + count) % kRingSlots
    uint16_t reserved;    // carried over unchanged from the data file
    int32_t samples[kRingCount][kRingSlots];  // ring-major
};

static_assert(sizeof(SampleStore) == 1105932);
static_assert(offsetof(SampleStore, count) == 4);
static_assert(offsetof(SampleStore, startIndex) == 6);
static_assert(offsetof(SampleStore, writeIndex) == 8);
static_assert(offsetof(SampleStore, reserved) == 10);
static_assert(offsetof(SampleStore, samples) == 12);
