#pragma once

#include <chrono>
#include <cstdint>

// Wall clock and sleeps, injectable so tests can run the 5-second world in milliseconds.
class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since 1970-01-01 UTC, 64-bit inside the program.
    virtual int64_t now() const = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
};

// The real clock: time(2) and nanosleep.
class SystemClock final : public Clock {
public:
    int64_t now() const override;
    void sleepFor(std::chrono::milliseconds duration) override;
    static SystemClock& instance();
};
