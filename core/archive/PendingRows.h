#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/store/ChannelRecord.h"
#include "core/store/EnergyTables.h"

// One sample on its way into the archive.
struct ArchiveRow {
    int64_t time = 0;
    std::array<int32_t, kChannelRecords> power{};
    bool energyChanged = false;  // the tables differ from those of the row before
    DayTable days{};
    MonthTable months{};
};

// The samples that could not be written when Kelvo stopped, kept beside the archive (its name
// plus ".pending") until the next start writes them. Text, one row a line: the time and the
// sixteen powers, then "E" and the four energy tables where they changed since the row before.
namespace pending {

std::string pathFor(const std::string& archivePath);
// Replaces the file crash-safely; false when it could not be written.
bool save(const std::string& path, const std::vector<ArchiveRow>& rows);
// The rows of the file in order, up to the first line that is not a whole row; false when
// there is no such file or it cannot be read.
bool load(const std::string& path, std::vector<ArchiveRow>& rows);

}  // namespace pending
