#pragma once

#include <optional>
#include <string>

#include "core/base/LockHolder.h"

// One Kelvo program per working directory, desktop or recorder: an exclusive flock() on
// "kelvo.lock" in it, held for the program's life. The kernel drops the lock when its holder
// dies, so the file left behind by a killed process never blocks the next start. The file
// holds the holder's pid for people looking; the holder itself is found in /proc/locks.
class DirectoryLock {
public:
    enum class Outcome { Acquired, Held, Failed };

    DirectoryLock() = default;
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    ~DirectoryLock();

    // Failed: the file could not be made or opened (a directory we may not write, say).
    Outcome acquire(const std::string& directory);
    // Who holds the directory after a Held outcome (pid 0 when it could not be found).
    const LockHolder& holder() const { return m_holder; }
    void release();

private:
    int m_fd = -1;
    LockHolder m_holder;
};
