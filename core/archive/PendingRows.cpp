#include "core/archive/PendingRows.h"

#include <cstdlib>
#include <cstring>

#include "core/base/CrashSafeFile.h"

namespace pending {

namespace {

// A day of rows with their tables at every row stays far below this.
constexpr size_t kFileLimit = 64u << 20;

void append(std::string& text, const int32_t* values, int count) {
    for (int i = 0; i < count; ++i) {
        text += ' ';
        text += std::to_string(values[i]);
    }
}

// Reads `count` decimal values off `cursor`; false at the end of the line or on anything
// else that is not a number within int32.
bool take(const char*& cursor, int32_t* values, int count) {
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        const long long value = std::strtoll(cursor, &end, 10);
        if (end == cursor || (*end == '\n' && i + 1 < count) || value < INT32_MIN ||
            value > INT32_MAX)
            return false;
        values[i] = static_cast<int32_t>(value);
        cursor = end;
    }
    return true;
}

}  // namespace

std::string pathFor(const std::string& archivePath) { return archivePath + ".pending"; }

bool save(const std::string& path, const std::vector<ArchiveRow>& rows) {
    std::string text;
    text.reserve(rows.size() * 100);
    for (size_t i = 0; i < rows.size(); ++i) {
        const ArchiveRow& row = rows[i];
        text += std::to_string(row.time);
        append(text, row.power.data(), kChannelRecords);
        if (i == 0 || row.energyChanged) {
            text += " E";
            append(text, row.days.consumption, kDays);
            append(text, row.days.solar, kDays);
            append(text, row.months.consumption, kMonths);
            append(text, row.months.solar, kMonths);
        }
        text += '\n';
    }
    return writeFileAtomically(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

bool load(const std::string& path, std::vector<ArchiveRow>& rows) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, kFileLimit) || bytes.size() > kFileLimit) return false;
    bytes.push_back(0);
    const char* cursor = reinterpret_cast<const char*>(bytes.data());
    ArchiveRow row;
    while (*cursor) {
        char* end = nullptr;
        row.time = std::strtoll(cursor, &end, 10);
        if (end == cursor) break;
        cursor = end;
        if (!take(cursor, row.power.data(), kChannelRecords)) break;
        while (*cursor == ' ') ++cursor;
        row.energyChanged = *cursor == 'E';
        if (row.energyChanged) {
            ++cursor;
            if (!take(cursor, row.days.consumption, kDays) ||
                !take(cursor, row.days.solar, kDays) ||
                !take(cursor, row.months.consumption, kMonths) ||
                !take(cursor, row.months.solar, kMonths))
                break;
        } else if (rows.empty()) {
            break;  // the first row always carries the tables
        }
        if (*cursor != '\n') break;
        ++cursor;
        rows.push_back(row);
    }
    return true;
}

}  // namespace pending
