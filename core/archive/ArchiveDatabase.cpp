#include "core/archive/ArchiveDatabase.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>

namespace {

constexpr const char* kCreateLayout =
    "CREATE TABLE IF NOT EXISTS power("
    "time INTEGER PRIMARY KEY, total INTEGER, ch01 INTEGER, ch02 INTEGER, ch03 INTEGER, "
    "ch04 INTEGER, ch05 INTEGER, ch06 INTEGER, ch07 INTEGER, ch08 INTEGER, ch09 INTEGER, "
    "ch10 INTEGER, ch11 INTEGER, ch12 INTEGER, spare13 INTEGER, consumption INTEGER, "
    "solar INTEGER);"
    "CREATE TABLE IF NOT EXISTS device_energy("
    "date TEXT PRIMARY KEY, day_consumption TEXT, day_solar TEXT, month_consumption TEXT, "
    "month_solar TEXT);";

// Another program holding the file briefly is waited for this long, no more: the writer
// retries later rather than stall.
constexpr int kBusyWaitMs = 200;

// "file:///var/lib/kelvo/kelvo%20archive.sqlite?immutable=1": the path percent-encoded
// except for the characters a URI path keeps as they are.
std::string immutableUri(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = path.starts_with('/') ? "file://" : "file:";
    for (const unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri + "?immutable=1";
}

}  // namespace

ArchiveDatabase::~ArchiveDatabase() { close(); }

void ArchiveDatabase::close() {
    if (m_db) sqlite3_close_v2(m_db);
    m_db = nullptr;
}

std::string ArchiveDatabase::lastError() const { return m_db ? sqlite3_errmsg(m_db) : "not open"; }

bool ArchiveDatabase::exec(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = message ? message : lastError();
    sqlite3_free(message);
    return false;
}

bool ArchiveDatabase::connect(const std::string& name, int flags, std::string& error) {
    close();
    if (sqlite3_open_v2(name.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        error = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, kBusyWaitMs);
    return true;
}

bool ArchiveDatabase::open(const std::string& path, bool writable, std::string& error) {
    m_readOnlyFile = false;
    if (!connect(path, writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY,
                 error)) {
        return false;
    }
    // SQLite opens a file this user may only read for reading, asked to write or not.
    if (writable && sqlite3_db_readonly(m_db, "main") == 1) {
        m_readOnlyFile = true;
        error = "read-only";
        close();
        return false;
    }
    if (createOrCheckLayout(writable, error)) return true;
    // Reading a file in write-ahead-log mode needs its -wal and -shm files; another user's
    // archive in a directory this user may not write has none while no writer has it open.
    // Without a -wal file everything committed is in the file itself, which is then read as
    // it stands, without the locks a writer would respect. Only a checkpoint of a writer
    // starting meanwhile could change it under the read, which would then fail once.
    const int code = sqlite3_errcode(m_db);
    struct stat wal {};
    if (writable || (code != SQLITE_READONLY && code != SQLITE_CANTOPEN) ||
        ::stat((path + "-wal").c_str(), &wal) == 0 || errno != ENOENT) {
        close();
        return false;
    }
    std::string ignored;
    if (connect(immutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, ignored) &&
        createOrCheckLayout(false, error)) {
        return true;
    }
    close();
    return false;
}

bool ArchiveDatabase::hasLayout() {
    // Preparing a statement reads the schema only: true when both tables with every column
    // of layout 1 are there (columns added later do not matter).
    ArchiveStatement power(*this,
                           "SELECT time, total, ch01, ch02, ch03, ch04, ch05, ch06, ch07, ch08, "
                           "ch09, ch10, ch11, ch12, spare13, consumption, solar FROM power");
    ArchiveStatement energy(*this,
                            "SELECT date, day_consumption, day_solar, month_consumption, "
                            "month_solar FROM device_energy");
    return power.ok() && energy.ok();
}

bool ArchiveDatabase::createOrCheckLayout(bool writable, std::string& error) {
    int version = -1;
    {
        ArchiveStatement query(*this, "PRAGMA user_version");
        if (!query.ok() || sqlite3_step(query.get()) != SQLITE_ROW) {
            error = lastError();  // "file is not a database" for a foreign file
            return false;
        }
        version = sqlite3_column_int(query.get(), 0);
    }
    if (version > kLayoutVersion) {
        error = "made by a newer version of Kelvo";
        return false;
    }
    int tableCount = 0;
    {
        ArchiveStatement tables(*this, "SELECT count(*) FROM sqlite_master");
        if (!tables.ok() || sqlite3_step(tables.get()) != SQLITE_ROW) {
            error = lastError();
            return false;
        }
        tableCount = sqlite3_column_int(tables.get(), 0);
    }
    // Everything is checked before anything is written: a file that is not an archive keeps
    // its journal mode and gets no -wal or -shm beside it.
    if (version == kLayoutVersion ? !hasLayout() : version != 0 || tableCount != 0) {
        error = version == kLayoutVersion || version == 0 ? "not a Kelvo archive"
                                                          : "unknown archive layout";
        return false;
    }
    if (!writable) return true;
    // WAL: the window reads while the writer appends, and a killed process leaves every
    // committed sample in place. NORMAL sync is enough for that: only a power cut may lose
    // the last commits, never the file's consistency.
    if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", error)) return false;
    if (version == kLayoutVersion) return true;
    const std::string create = std::string("BEGIN;") + kCreateLayout +
                               "PRAGMA user_version=" + std::to_string(kLayoutVersion) + ";COMMIT;";
    if (exec(create.c_str(), error)) return true;
    std::string ignored;
    exec("ROLLBACK;", ignored);
    return false;
}

ArchiveStatement::ArchiveStatement(ArchiveDatabase& db, const char* sql) {
    if (sqlite3_prepare_v2(db.handle(), sql, -1, &m_statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
}

ArchiveStatement::~ArchiveStatement() { sqlite3_finalize(m_statement); }
