#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>

#include "store/SampleRing.h"

namespace {

constexpr int64_t kT0 = 1'700'000'000;

// A store holding `count` non-zero samples from slot `startIndex`, ending at kT0.
std::unique_ptr<SampleStore> filledStore(int count, int startIndex) {
    auto store = std::make_unique<SampleStore>();
    std::mt19937 random(static_cast<unsigned>(count * 31 + startIndex));
    for (auto& ring : store->samples)
        for (auto& v : ring) v = static_cast<int32_t>(random() % 60000) + 1;
    store->count = static_cast<uint16_t>(count);
    store->startIndex = static_cast<uint16_t>(startIndex);
    store->writeIndex = static_cast<uint16_t>((startIndex + count) % kRingSlots);
    store->startTime = static_cast<int32_t>(kT0 - 5 * count);
    store->reserved = 0xBEEF;
    return store;
}

TEST(FillGap, GivesTheSameStoreAsTheStepLoop) {
    struct Case {
        int count, startIndex;
        int64_t gapSeconds;  // now - end time
    } cases[] = {
        {0, 0, 10},        {100, 0, 7},           {100, 17250, 600},       {17280, 0, 5},
        {17280, 17279, 1}, {17280, 123, 3600},    {17000, 9000, 5 * 2000}, {17280, 5, 86400},
        {17280, 5, 86401}, {500, 40, 30 * 86400}, {17280, 0, 0},           {17280, 0, -3600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "count " << c.count << " start " << c.startIndex
                                          << " gap " << c.gapSeconds);
        auto fast = filledStore(c.count, c.startIndex);
        auto stepped = filledStore(c.count, c.startIndex);
        fillGap(*fast, kT0 + c.gapSeconds);
        fillGapStepwise(*stepped, kT0 + c.gapSeconds);
        EXPECT_EQ(fast->startTime, stepped->startTime);
        EXPECT_EQ(fast->count, stepped->count);
        EXPECT_EQ(fast->startIndex, stepped->startIndex);
        EXPECT_EQ(fast->writeIndex, stepped->writeIndex);
        EXPECT_EQ(fast->reserved, 0xBEEF);
        EXPECT_EQ(std::memcmp(fast->samples, stepped->samples, sizeof fast->samples), 0);
        EXPECT_TRUE(storeIsConsistent(*fast));
    }
}

TEST(FillGap, FullStoreMovesStartTimeByFiveSecondsPerDroppedSample) {
    auto store = filledStore(17280, 100);
    const int32_t before = store->startTime;
    fillGap(*store, kT0 + 3 * 5);
    EXPECT_EQ(store->startTime, before + 15);
    EXPECT_EQ(store->startIndex, 103);
    EXPECT_EQ(store->samples[7][100], 0);
    EXPECT_EQ(store->samples[7][102], 0);
    EXPECT_NE(store->samples[7][103], 0);
}

TEST(FillGap, ClockJumpFrom1970IsFastAndLeavesOnlyZeros) {
    auto store = filledStore(0, 0);
    store->startTime = 0;
    const int64_t now = kT0 + 2;
    const auto began = std::chrono::steady_clock::now();
    fillGap(*store, now);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(1));

    const int64_t steps = (now + 4) / 5;  // the step loop's rounds: t = 0, 5, ... while t < now
    EXPECT_EQ(store->count, kRingSlots);
    EXPECT_EQ(store->writeIndex, steps % kRingSlots);
    EXPECT_EQ(store->startIndex, store->writeIndex);
    EXPECT_EQ(store->startTime, 5 * (steps - kRingSlots));
    EXPECT_GE(store->startTime + 5 * int64_t{kRingSlots}, now);
    for (const auto& ring : store->samples)
        for (int32_t v : ring) ASSERT_EQ(v, 0);
}

TEST(SampleStoreHeader, InconsistentHeadersAreRecognised) {
    struct Case {
        uint16_t count, startIndex, writeIndex;
        bool consistent;
    } cases[] = {
        {0, 0, 0, true},      {17280, 17279, 17279, true}, {10, 17275, 5, true},
        {17281, 0, 1, false}, {0, 17280, 17280, false},    {5, 0, 6, false},
        {0, 0, 17280, false}, {65535, 0, 0, false},
    };
    for (const Case& c : cases) {
        auto header = std::make_unique<SampleStore>();
        header->count = c.count;
        header->startIndex = c.startIndex;
        header->writeIndex = c.writeIndex;
        EXPECT_EQ(storeIsConsistent(*header), c.consistent)
            << c.count << " " << c.startIndex << " " << c.writeIndex;
    }
}

}  // namespace
