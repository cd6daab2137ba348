#include <gtest/gtest.h>

#include "core/base/DirectoryLock.h"
#include "support/ForkedChild.h"
#include "support/TempWorkDir.h"

// A second holder of one directory is refused and told the first one's pid and program; once
// the first is killed, its lock file no longer blocks anyone.
TEST(DirectoryLock, SecondHolderLearnsThePidAndAKilledHolderBlocksNobody) {
    TempWorkDir dir;
    ForkedChild first(
        [&] {
            static DirectoryLock lock;  // kept while the child stays
            return lock.acquire(dir.path()) == DirectoryLock::Outcome::Acquired ? "y" : "n";
        },
        ForkedChild::Then::Stay, kRecorderProgram);
    ASSERT_EQ(first.reply(), "y");

    DirectoryLock second;
    EXPECT_EQ(second.acquire(dir.path()), DirectoryLock::Outcome::Held);
    EXPECT_EQ(second.holder().pid, first.pid());
    EXPECT_EQ(describeHolder(second.holder()),
              "kelvo-recorder (pid " + std::to_string(first.pid()) + ")");

    first.end();
    EXPECT_EQ(second.acquire(dir.path()), DirectoryLock::Outcome::Acquired);
    EXPECT_EQ(DirectoryLock().acquire("/proc/no-such-directory"), DirectoryLock::Outcome::Failed);
}
