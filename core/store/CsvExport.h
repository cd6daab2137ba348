#pragma once

#include <cstdint>
#include <string>

#include "core/store/EnergyTables.h"
#include "core/store/LocalTimeLabels.h"
#include "core/store/SampleStore.h"

// The comma-separated export: day and month energy blocks, then the held samples thinned to
// one row per export interval. Plain 8-bit text, line feeds only.
class CsvExport {
public:
    struct Source {
        const DayTable& days;
        const MonthTable& months;
        std::string consumptionName;  // channel record 14
        std::string solarName;        // channel record 15
        const SampleStore& store;     // must satisfy the ring invariants
        uint32_t intervalSeconds;
    };

    // The whole file text. Row i of the samples is held sample i * (interval / 5), labelled with
    // that sample's own local time; an interval below 5 s exports every sample.
    static std::string format(const Source& source);

    // The header line of the sample lines, line feed included.
    static const char* sampleHeader();
    // One sample line: local time, then the watts of the twelve loads, Consumption and Solar
    // from `power`, which holds records 0..15.
    static void appendSampleLine(std::string& out, int64_t time, const int32_t* power);
    // The same line, its time labelled through `labels`, which a writer of many lines keeps
    // from one line to the next: the local date is then worked out once a day, not per line.
    static void appendSampleLine(std::string& out, int64_t time, const int32_t* power,
                                 LocalTimeLabels& labels);

    // Creates or empties `path` and writes `text`; false when the file cannot be created or
    // not all of it reached the disk.
    static bool writeFile(const std::string& path, const std::string& text);
};
