#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/acquisition/SampleSink.h"

// Cumulative energy per value, for the energy dashboards of home-automation tools: loads
// ch01..ch12, consumption, solar, and the grid's import and export worked out per sample
// from consumption and solar. Counts are whole watt-seconds in 64 bits: adding never rounds,
// so a counter never drifts and never goes down.
//
// Kept in two files written in turn, each replaced whole through the crash-safe file and
// carrying a sequence number and a checksum. A crash or a kill leaves at least one complete
// copy at most one sample old; a copy damaged on disk is set aside (never silently replaced
// by a lower value) and the other one is used.
class EnergyCounters {
public:
    static constexpr int kCount = 16;
    static constexpr int kGridImport = 14;
    static constexpr int kGridExport = 15;
    static constexpr int64_t kSampleSeconds = 5;  // each sample stands for one poll period

    // "ch01".."ch12", "consumption", "solar", "grid_import", "grid_export".
    static const std::array<std::string, kCount>& names();
    // Watt-seconds as kWh with three decimals, cut (not rounded) so the text never runs ahead.
    static std::string kwhText(int64_t wattSeconds);

    // Adds one sample read from the meter: watts x 5 s to every counter; negative readings
    // add nothing.
    void add(const MeterSample& sample);
    // Adds counts kept elsewhere (those of samples taken before the file was read).
    void addCounts(const std::array<int64_t, kCount>& wattSeconds);
    const std::array<int64_t, kCount>& wattSeconds() const { return m_counts; }
    const std::string& directory() const { return m_dir; }

    // The two files of the counters in `dir` (the working directory when empty).
    explicit EnergyCounters(std::string dir = "");
    // Reads both copies and goes on from the higher counts. True when the counters are whole;
    // otherwise `problem` says what was found (a damaged copy, set aside as <name>.damaged).
    // No file at all is a first start: true, zero counts.
    bool load(std::string& problem);
    // Writes the counts to the copy not written last. False when that failed (the other copy
    // and the counts in memory stay).
    bool save();

private:
    std::string copyPath(int copy) const;
    std::string m_dir;
    std::array<int64_t, kCount> m_counts{};
    uint64_t m_sequence = 0;  // of the copy written last
};
