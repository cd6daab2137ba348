#pragma once

#include <optional>
#include <string>

// The process holding an flock() lock on an open file, as the kernel lists it in /proc/locks:
// its pid and its program name (/proc/<pid>/comm, at most 15 characters). Used to tell the
// user who holds the meter's port or the working directory.
struct LockHolder {
    int pid = 0;
    std::string program;
};

// The program name of the headless recorder, as /proc/<pid>/comm shows it.
inline constexpr const char* kRecorderProgram = "kelvo-recorder";

// Nothing when no other process holds a lock on the file behind `fd` or the list cannot be read.
std::optional<LockHolder> flockHolder(int fd);
// The same for the file at `path` (links followed), without opening it: a port another
// program holds with TIOCEXCL cannot be opened to ask.
std::optional<LockHolder> flockHolder(const std::string& path);

// "kelvo-recorder (pid 812)"; "another process" when the pid is unknown.
std::string describeHolder(const LockHolder& holder);
