#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/base/DirectoryLock.h"
#include "support/TempWorkDir.h"

// A second holder of one directory is refused and told the first one's pid and program; once
// the first is killed, its lock file no longer blocks anyone.
TEST(DirectoryLock, SecondHolderLearnsThePidAndAKilledHolderBlocksNobody) {
    TempWorkDir dir;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        DirectoryLock lock;
        const char byte = lock.acquire(dir.path()) == DirectoryLock::Outcome::Acquired ? 'y' : 'n';
        [[maybe_unused]] const ssize_t written = ::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');

    DirectoryLock second;
    EXPECT_EQ(second.acquire(dir.path()), DirectoryLock::Outcome::Held);
    EXPECT_EQ(second.holder().pid, child);
    EXPECT_EQ(describeHolder(second.holder()),
              second.holder().program + " (pid " + std::to_string(child) + ")");
    EXPECT_FALSE(second.holder().program.empty());

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(second.acquire(dir.path()), DirectoryLock::Outcome::Acquired);
    EXPECT_EQ(DirectoryLock().acquire("/proc/no-such-directory"), DirectoryLock::Outcome::Failed);
}
