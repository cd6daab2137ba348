#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/acquisition/PeriodicTimer.h"

using namespace std::chrono_literals;

// Deadlines are absolute: a callback that takes half the period does not stretch it.
TEST(PeriodicTimer, KeepsItsGridWhenCallsTakeHalfAPeriod) {
    PeriodicTimer timer;
    std::atomic<int> calls{0};
    const auto begin = std::chrono::steady_clock::now();
    timer.start(40ms, [&] {
        ++calls;
        std::this_thread::sleep_for(20ms);
    });
    std::this_thread::sleep_for(1000ms);
    timer.stop();
    const double periods = (std::chrono::steady_clock::now() - begin) / 40ms;
    EXPECT_GE(calls.load(), periods * 0.85 - 1);  // a drifting timer manages 2/3 of them
    EXPECT_LE(calls.load(), periods + 1);
}
