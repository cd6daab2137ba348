#pragma once

#include <cstdint>
#include <vector>

struct MonitorState;

// Which energy table a history window shows.
enum class HistoryTable { Days, Months };

// A copy of one energy table, taken under the data lock so that one paint or one refresh
// never mixes two polls.
struct HistorySnapshot {
    std::vector<int32_t> consumption;
    std::vector<int32_t> solar;

    static HistorySnapshot take(const MonitorState& state, HistoryTable table);
};
