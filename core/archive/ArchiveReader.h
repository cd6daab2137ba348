#pragma once

#include <string>

#include "core/archive/ArchiveDatabase.h"
#include "core/archive/ArchiveDay.h"

// A read-only connection to the archive for the window: it reads while the writer writes
// (write-ahead log), and never creates or changes the file.
class ArchiveReader {
public:
    explicit ArchiveReader(std::string path);
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // The local day year-month-day (month 1..12). A day without rows is true with rows == 0.
    // False, with the reason in `error`, when the file cannot be opened or read.
    bool readDay(int year, int month, int day, ArchiveDay& out, std::string& error);

    // Unix seconds of local midnight beginning year-month-day and of the next one; false
    // for a date that does not exist.
    static bool dayBounds(int year, int month, int day, int64_t& start, int64_t& end);

private:
    std::string m_path;
    ArchiveDatabase m_db;
};
