#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>

#include "core/store/SampleRing.h"
#include "support/StepwiseGapFill.h"

namespace {

constexpr int64_t kT0 = 1'700'000'000;

// `count` non-zero samples from slot `startIndex`, ending at kT0.
std::unique_ptr<SampleStore> filledStore(int count, int startIndex) {
    auto store = std::make_unique<SampleStore>();
    std::mt19937 random(static_cast<unsigned>(count * 31 + startIndex));
    for (auto& ring : store->samples)
        for (auto& v : ring) v = static_cast<int32_t>(random() % 60000) + 1;
    store->count = static_cast<uint16_t>(count);
    store->startIndex = static_cast<uint16_t>(startIndex);
    store->writeIndex = static_cast<uint16_t>((startIndex + count) % kRingSlots);
    store->startTime = static_cast<int32_t>(kT0 - 5 * count);
    return store;
}

TEST(fillGap, GivesTheSameStoreAsTheStepLoop) {
    struct Case {
        int count, startIndex;
        int64_t gapSeconds;  // now - end time
    } cases[] = {
        {0, 0, 10},        {100, 0, 7},        {100, 17250, 600},    {17280, 0, 5},
        {17280, 17279, 1}, {17280, 123, 15},   {17000, 9000, 10000}, {17280, 5, 86400},
        {17280, 5, 86401}, {500, 40, 2592000}, {17280, 0, 0},        {17280, 0, -3600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.count << " from " << c.startIndex << ", gap " << c.gapSeconds);
        auto fast = filledStore(c.count, c.startIndex);
        auto stepped = filledStore(c.count, c.startIndex);
        fillGap(*fast, kT0 + c.gapSeconds);
        fillGapStepwise(*stepped, kT0 + c.gapSeconds);
        EXPECT_EQ(std::memcmp(fast.get(), stepped.get(), sizeof(SampleStore)), 0);
        EXPECT_TRUE(storeIsConsistent(*fast));
    }
}

TEST(fillGap, ClockJumpFrom1970IsFastAndLeavesOnlyZeros) {
    auto store = filledStore(0, 0);
    store->startTime = 0;
    const auto began = std::chrono::steady_clock::now();
    fillGap(*store, kT0 + 2);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(1));

    const int64_t steps = (kT0 + 2 + 4) / 5;  // rounds of t = 0, 5, ... while t < now
    EXPECT_EQ(store->count, kRingSlots);
    EXPECT_EQ(store->writeIndex, steps % kRingSlots);
    EXPECT_EQ(store->startIndex, store->writeIndex);
    EXPECT_EQ(store->startTime, 5 * (steps - kRingSlots));
    for (const auto& ring : store->samples)
        for (int32_t v : ring) ASSERT_EQ(v, 0);
}

}  // namespace
