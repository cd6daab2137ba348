#include "core/base/Clock.h"

#include <ctime>
#include <thread>

int64_t SystemClock::now() const { return static_cast<int64_t>(std::time(nullptr)); }

void SystemClock::sleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

SystemClock& SystemClock::instance() {
    static SystemClock clock;
    return clock;
}
