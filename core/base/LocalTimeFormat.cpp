#include "core/base/LocalTimeFormat.h"

#include <ctime>

std::string formatLocalTime(int64_t seconds, const char* format) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local)) return "";
    char text[64];
    return std::strftime(text, sizeof text, format, &local) ? text : "";
}
