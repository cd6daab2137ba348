#include "core/archive/ArchiveReader.h"

#include <sqlite3.h>

#include <ctime>
#include <vector>

ArchiveReader::ArchiveReader(std::string path) : m_path(std::move(path)) {}

bool ArchiveReader::dayBounds(int year, int month, int day, int64_t& start, int64_t& end) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1970 || year > 9999) return false;
    // mktime works out the daylight-saving offset of each midnight itself (tm_isdst -1), so
    // a day of 23 or 25 hours gets its true length.
    auto midnight = [](int y, int m, int d) {
        struct tm local {};
        local.tm_year = y - 1900;
        local.tm_mon = m - 1;
        local.tm_mday = d;
        local.tm_isdst = -1;
        return static_cast<int64_t>(std::mktime(&local));
    };
    start = midnight(year, month, day);
    end = midnight(year, month, day + 1);
    // mktime normalises 31 April to 1 May: such a date is refused.
    const time_t t = static_cast<time_t>(start);
    struct tm check {};
    if (start < 0 || end <= start || !localtime_r(&t, &check) || check.tm_mday != day) return false;
    return true;
}

bool ArchiveReader::readDay(int year, int month, int day, ArchiveDay& out, std::string& error) {
    int64_t start = 0;
    int64_t end = 0;
    if (!dayBounds(year, month, day, start, end)) {
        error = "no such date";
        return false;
    }
    out.start = start;
    out.slotCount = static_cast<int>((end - start) / 5);
    out.rows = 0;
    out.unplacedWatts = {};
    for (auto& ring : out.power) ring.assign(static_cast<size_t>(out.slotCount), kNoSample);

    // Opened per day: a file created or replaced since the last look is seen as it is now.
    if (!m_db.open(m_path, false, error)) return false;
    ArchiveStatement query(m_db, "SELECT * FROM power WHERE time >= ? AND time < ? ORDER BY time");
    if (!query.ok()) {
        error = m_db.lastError();
        m_db.close();
        return false;
    }
    sqlite3_stmt* st = query.get();
    sqlite3_bind_int64(st, 1, start);
    sqlite3_bind_int64(st, 2, end);
    // A row whose slot is taken (two polls in one 5-second slot, a clock stepped back) still
    // counts: it goes to the nearest free slot once every row has had its own.
    struct Displaced {
        int64_t slot;
        std::array<int32_t, kChannelRecords> power;
    };
    std::vector<Displaced> displaced;
    int step;
    while ((step = sqlite3_step(st)) == SQLITE_ROW) {
        const int64_t slot = (sqlite3_column_int64(st, 0) - start) / 5;
        if (slot < 0 || slot >= out.slotCount) continue;
        ++out.rows;
        Displaced row{slot, {}};
        for (int k = 0; k < kChannelRecords; ++k) row.power[k] = sqlite3_column_int(st, k + 1);
        if (out.power[0][static_cast<size_t>(slot)] == kNoSample) {
            for (int k = 0; k < kChannelRecords; ++k)
                out.power[k][static_cast<size_t>(slot)] = row.power[k];
        } else {
            displaced.push_back(row);
        }
    }
    int64_t free = out.slotCount - (out.rows - static_cast<int>(displaced.size()));
    for (const Displaced& row : displaced) {
        int64_t slot = -1;
        for (int64_t d = 1; free > 0 && slot < 0; ++d) {
            if (row.slot + d < out.slotCount &&
                out.power[0][static_cast<size_t>(row.slot + d)] == kNoSample)
                slot = row.slot + d;
            else if (row.slot - d >= 0 &&
                     out.power[0][static_cast<size_t>(row.slot - d)] == kNoSample)
                slot = row.slot - d;
        }
        if (slot < 0) {  // more rows than the day has slots: only its energy has a place
            for (int k = 0; k < kChannelRecords; ++k) out.unplacedWatts[k] += row.power[k];
            continue;
        }
        --free;
        for (int k = 0; k < kChannelRecords; ++k)
            out.power[k][static_cast<size_t>(slot)] = row.power[k];
    }
    const bool ok = step == SQLITE_DONE;
    if (!ok) error = m_db.lastError();
    sqlite3_reset(st);
    return ok;
}
