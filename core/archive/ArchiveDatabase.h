#pragma once

#include <string>

struct sqlite3;
struct sqlite3_stmt;

// One connection to the archive file, closed with the object.
//
// The file's layout is for other tools too, so it only ever grows (tables or columns added,
// nothing renamed or removed); PRAGMA user_version says which layout a file has:
//   power(time INTEGER PRIMARY KEY, total, ch01..ch12, spare13, consumption, solar)
//       watts of records 0..15 of the 5-second sample taken at `time` (Unix seconds, UTC)
//   device_energy(date TEXT PRIMARY KEY, day_consumption, day_solar, month_consumption,
//       month_solar) the meter's energy tables as last read on that local day (YYYY-MM-DD),
//       values in table order, comma-separated
class ArchiveDatabase {
public:
    static constexpr int kLayoutVersion = 1;

    ArchiveDatabase() = default;
    ~ArchiveDatabase();
    ArchiveDatabase(const ArchiveDatabase&) = delete;
    ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;

    // Writable: creates the file and its tables when missing, in write-ahead-log mode; the
    // layout is checked before that, so a file that is not an archive is never changed.
    // Read-only: never creates or changes anything, and reads another user's archive in a
    // directory this user may not write. False with the reason in `error` for a file that
    // cannot be opened, is not an archive or has a newer layout than this program, and for
    // a file to be written that this user may only read (readOnlyFile() then tells).
    bool open(const std::string& path, bool writable, std::string& error);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    // The last open() for writing found a file this user may only read.
    bool readOnlyFile() const { return m_readOnlyFile; }

    // Runs statements without results; false with SQLite's reason in `error`.
    bool exec(const char* sql, std::string& error);
    sqlite3* handle() const { return m_db; }
    std::string lastError() const;

private:
    // Opens `name` (a path, or a URI with SQLITE_OPEN_URI) with `flags`.
    bool connect(const std::string& name, int flags, std::string& error);
    bool createOrCheckLayout(bool writable, std::string& error);
    bool hasLayout();

    sqlite3* m_db = nullptr;
    bool m_readOnlyFile = false;
};

// A prepared statement, finalized with the object.
class ArchiveStatement {
public:
    ArchiveStatement(ArchiveDatabase& db, const char* sql);
    ~ArchiveStatement();
    ArchiveStatement(const ArchiveStatement&) = delete;
    ArchiveStatement& operator=(const ArchiveStatement&) = delete;

    bool ok() const { return m_statement != nullptr; }
    sqlite3_stmt* get() const { return m_statement; }

private:
    sqlite3_stmt* m_statement = nullptr;
};
