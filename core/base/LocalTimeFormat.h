#pragma once

#include <cstdint>
#include <string>

// `format` (strftime's) applied to the local time of `seconds` since 1970 UTC, in the zone
// of the process; empty when the time has no local date (out of the zone database's range)
// or the text is longer than 63 bytes.
std::string formatLocalTime(int64_t seconds, const char* format);
