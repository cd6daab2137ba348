#pragma once

#include <string>

#include "core/archive/ArchiveDay.h"

struct sqlite3;

// A read-only connection to the archive for the window: it reads while the writer writes
// (write-ahead log), and never creates or changes the file.
class ArchiveReader {
public:
    explicit ArchiveReader(std::string path);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // The local day year-month-day (month 1..12). A day without rows is true with rows == 0.
    // False, with the reason in `error`, when the file cannot be opened or read.
    bool readDay(int year, int month, int day, ArchiveDay& out, std::string& error);

private:
    bool open(std::string& error);

    std::string m_path;
    sqlite3* m_db = nullptr;
};
