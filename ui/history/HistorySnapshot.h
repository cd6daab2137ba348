#pragma once

#include <cstdint>
#include <vector>

class Recorder;

// Which energy table a history window shows.
enum class HistoryTable { Days, Months };

// A copy of one energy table, taken at once so that one paint or one refresh
// never mixes two polls.
struct HistorySnapshot {
    std::vector<int32_t> consumption;
    std::vector<int32_t> solar;

    static HistorySnapshot take(const Recorder& recorder, HistoryTable table);
};
