#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/base/Clock.h"

// A clock that never sleeps: each wait advances the fake time (kept in milliseconds) and is
// noted, so tests check the waits an exchange makes without spending them.
class FakeClock final : public Clock {
public:
    explicit FakeClock(int64_t startSeconds = 1'700'000'000) : m_ms(startSeconds * 1000) {}

    int64_t now() const override {
        std::lock_guard lock(m_lock);
        return m_ms / 1000;
    }

    void sleepFor(std::chrono::milliseconds duration) override {
        std::lock_guard lock(m_lock);
        m_ms += duration.count();
        if (keepSleeps) sleeps.push_back(duration);
        if (journal) {
            journal->push_back("sleep " + std::to_string(duration.count()));
        }
    }

    void advance(std::chrono::milliseconds duration) {
        std::lock_guard lock(m_lock);
        m_ms += duration.count();
    }

    std::vector<std::chrono::milliseconds> sleeps;
    bool keepSleeps = true;  // false for runs of days, which would fill memory with them
    std::vector<std::string>* journal = nullptr;  // shared with a ScriptedDevice

private:
    mutable std::mutex m_lock;
    int64_t m_ms;
};
