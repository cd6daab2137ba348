#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "core/store/CsvExport.h"
#include "core/store/SampleRing.h"

// The data export as it was first written, with printf formatting and a local-time conversion
// per row: the reference the fast CsvExport must match byte for byte, for its test and the
// benchmark that measures both.
namespace reference {

inline void appendf(std::string& out, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

inline void appendf(std::string& out, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0) out.append(line, std::min<size_t>(static_cast<size_t>(n), sizeof line - 1));
}

inline void appendSeries(std::string& out, const std::string& label, const int32_t* values, int n,
                         bool asUnsigned) {
    out += label;
    out += "(kwh)";
    for (int i = 0; i < n; ++i) {
        if (asUnsigned) {
            appendf(out, ",%u", static_cast<uint32_t>(values[i]));
        } else {
            appendf(out, ",%d", values[i]);
        }
    }
    out += '\n';
}

inline void appendSampleLine(std::string& out, int64_t seconds, const int32_t* power) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    char text[64];
    if (localtime_r(&t, &local) != nullptr &&
        std::strftime(text, sizeof text, "%Y-%m-%d %H-%M-%S", &local) > 0) {
        out += text;
    } else {
        appendf(out, "%lld", static_cast<long long>(seconds));
    }
    for (int ring : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15})
        appendf(out, ", %06d", power[ring]);
    out += '\n';
}

inline std::string format(const CsvExport::Source& source) {
    std::string out;
    const SampleStore& store = source.store;
    const int64_t step = std::max<int64_t>(1, source.intervalSeconds / kSamplePeriodSeconds);
    out.reserve(4096 + static_cast<size_t>(store.count / step + 1) * 140);
    for (int b = 0; b < 4; ++b) {
        out += "Day";
        for (int d = 10 * b + 1; d <= 10 * b + 10; ++d) appendf(out, ",%d", d);
        out += '\n';
        appendSeries(out, source.solarName, &source.days.solar[10 * b], 10, false);
        appendSeries(out, source.consumptionName, &source.days.consumption[10 * b], 10, false);
        out += '\n';
    }
    out += "\n\nMonth";
    for (int m = 1; m <= kMonths; ++m) appendf(out, ",%d", m);
    out += '\n';
    appendSeries(out, source.solarName, source.months.solar, kMonths, true);
    appendSeries(out, source.consumptionName, source.months.consumption, kMonths, true);
    out += "\n\n\n";
    out +=
        "Time, Channel 01, Channel 02, Channel 03, Channel 04, Channel 05, Channel 06, "
        "Channel 07, Channel 08, Channel 09, Channel 10, Channel 11, Channel 12, Consumption, "
        "Solar\n";
    int32_t power[kRingCount];
    for (int64_t i = 0; i < store.count; i += step) {
        const int slot = heldSlot(store, i);
        for (int ring = 0; ring < kRingCount; ++ring) power[ring] = store.samples[ring][slot];
        appendSampleLine(out, static_cast<int64_t>(store.startTime) + kSamplePeriodSeconds * i,
                         power);
    }
    return out;
}

}  // namespace reference
