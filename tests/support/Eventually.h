#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Whether `done` comes true within `limit`, looked at every few milliseconds: for what another
// thread or process brings about in its own time. The default limit is generous for a loaded
// machine; a test expecting `done` to stay false passes a short one.
inline bool eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
