#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/store/ChannelRecord.h"

// A range of local days from the archive to a CSV file whose lines have the layout of the
// sample lines of the data export: the same header line, the same time format.
struct RangeExport {
    std::string archivePath;
    std::string csvPath;
    int fromYear = 0, fromMonth = 0, fromDay = 0;  // first local day, inclusive
    int toYear = 0, toMonth = 0, toDay = 0;        // last local day, inclusive
    uint32_t intervalSeconds = 5;                  // the export settings' interval rules
};

enum class ExportOutcome { Written, Cancelled, Failed };

// progress(done, total) is called now and then from the calling thread; returning false
// cancels: the file is then removed, nothing half-written is left. On Failed, `error` says why.
ExportOutcome exportRange(const RangeExport& range,
                          const std::function<bool(int64_t done, int64_t total)>& progress,
                          std::string& error);
