#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/store/ChannelRecord.h"

class Clock;

// One row of the chart's time-span table, 16 bytes in dast.cfg.
struct ScopeEntry {
    double span;       // days
    int32_t samples;   // 5-second samples in the window; the only field the chart reads
    uint8_t spare[4];  // written back as read
};
static_assert(sizeof(ScopeEntry) == 16);

inline constexpr int kScopeEntries = 7;
inline constexpr uint16_t kDefaultScopeIndex = 4;  // "1 Hours"
inline constexpr uint32_t kDefaultExportInterval = 60;
inline constexpr int32_t kMaxScopeSamples = 17280;  // the whole 24-hour ring

// The chart's time span as the configuration selects it: all the real-time window reads of
// dast.cfg for each sample, a few bytes instead of a copy of the whole configuration.
struct ScopeSelection {
    uint16_t index = kDefaultScopeIndex;  // as held: the scope command shown checked
    // The row the chart shows: `index`, or the default row where an edited table cannot
    // serve it; and that row's 5-second samples, 1..17280.
    uint16_t shown = kDefaultScopeIndex;
    int32_t samples = 720;
};

// The in-memory copy of dast.cfg, the working copy for the whole run.
struct DastConfig {
    ChannelTable channels{};                     // records 0..15
    std::vector<ChannelRecord> surplusChannels;  // records past 16 in an edited file, kept
    uint16_t scopeIndex = kDefaultScopeIndex;
    std::vector<ScopeEntry> scopes;  // at least kScopeEntries rows
    char password[16]{};
    uint8_t reserved1 = 0;
    uint32_t firstLoadTime = 0;
    uint32_t lastSaveTime = 0;
    uint8_t reserved2 = 0;
    std::vector<uint8_t> extraData;  // at most 255 bytes
    uint32_t exportInterval = kDefaultExportInterval;
    std::string appDir;  // working directory when the file was loaded; files live here

    // The defaults of a first start (also used when the file cannot be read).
    static DastConfig defaults();
    // The selected scope, or the default scope where the table or the index from an edited
    // file is unusable.
    ScopeSelection scope() const;
    // appDir + "/dast.cfg", or "dast.cfg" when no directory was reported.
    std::string filePath() const;
};

// The row of the default scope table at `index` (0..6).
ScopeEntry defaultScope(int index);

// The file image of dast.cfg: packed little-endian fields, no header. Tables are written
// with the counts held (16 + surplus records, every scope row, extraData up to 255 bytes).
std::vector<uint8_t> writeConfigImage(const DastConfig& config);
// Reads a file image over `config` (which should hold the defaults). Whatever the file holds,
// nothing is read past `size` and every field ends usable: complete records and rows are
// kept, missing ones keep their defaults, names and password are NUL-terminated, a scope
// index or scope row the chart cannot use is repaired; the export interval is kept as stored.
// Clears power and state of records 0..15. False when the image is not a whole file.
bool readConfigImage(const uint8_t* data, size_t size, DastConfig& config);

// Reads dast.cfg from `appDir` (empty: the current directory, as the program always does);
// false and defaults when it cannot be read.
bool loadConfig(DastConfig& config, const Clock& clock, std::string appDir = {});
// Stamps the time of the save and writes dast.cfg crash-safely; false when nothing was written
// (the old file stays). Not thread-safe: a configuration other threads use is saved from a
// copy (Recorder::saveConfig).
bool saveConfig(DastConfig& config, const Clock& clock);
