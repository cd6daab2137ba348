#include <gtest/gtest.h>

#include "core/base/Clock.h"

TEST(SystemClock, ReadsTheWallClockInSecondsSince1970) {
    // 2020-01-01 lies well before any machine this runs on; seconds, not milliseconds.
    const int64_t now = SystemClock::instance().now();
    EXPECT_GT(now, 1577836800);
    EXPECT_LT(now, 1577836800LL * 10);
}
