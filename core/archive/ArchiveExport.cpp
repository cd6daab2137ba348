#include "core/archive/ArchiveExport.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/archive/ArchiveDatabase.h"
#include "core/archive/ArchiveReader.h"
#include "core/base/CrashSafeFile.h"
#include "core/store/CsvExport.h"

namespace {

// Text is written in pieces of about this size, and progress is told as often.
constexpr size_t kFlushBytes = 1 << 20;

// Whether writing `target` would truncate or replace the archive or a file SQLite keeps
// beside it, under the writer's feet. Compared by name and by device and inode, so another
// spelling of the same file ("./", a symbolic or second hard link) is caught too; the names
// also catch a log file that does not exist at this moment.
bool isArchiveFile(const std::string& target, const std::string& archivePath) {
    auto fullName = [](const std::string& path) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        if (error) return std::filesystem::path();
        std::filesystem::path name = std::filesystem::weakly_canonical(absolute, error);
        return error ? std::filesystem::path() : name;
    };
    struct stat targetInfo {};
    const bool targetExists = ::stat(target.c_str(), &targetInfo) == 0;
    const std::filesystem::path targetName = fullName(target);
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        const std::string file = archivePath + suffix;
        struct stat info {};
        if (targetExists && ::stat(file.c_str(), &info) == 0 && info.st_dev == targetInfo.st_dev &&
            info.st_ino == targetInfo.st_ino)
            return true;
        if (!targetName.empty() && fullName(file) == targetName) return true;
    }
    return false;
}

}  // namespace

ExportOutcome exportRange(const RangeExport& range,
                          const std::function<bool(int64_t, int64_t)>& progress,
                          std::string& error) {
    int64_t from = 0;
    int64_t to = 0;
    int64_t ignored = 0;
    if (!ArchiveReader::dayBounds(range.fromYear, range.fromMonth, range.fromDay, from, ignored) ||
        !ArchiveReader::dayBounds(range.toYear, range.toMonth, range.toDay, ignored, to) ||
        to <= from) {
        error = "The date range is not valid";
        return ExportOutcome::Failed;
    }
    // The part file is truncated and then renamed over the target: neither may be the archive.
    const std::string temporary = range.csvPath + ".part";
    if (isArchiveFile(range.csvPath, range.archivePath) ||
        isArchiveFile(temporary, range.archivePath)) {
        error = "Cannot export into the archive itself: " + range.csvPath;
        return ExportOutcome::Failed;
    }
    ArchiveDatabase db;
    if (!db.open(range.archivePath, false, error)) return ExportOutcome::Failed;

    ArchiveStatement count(db, "SELECT count(*) FROM power WHERE time >= ? AND time < ?");
    ArchiveStatement rows(db, "SELECT * FROM power WHERE time >= ? AND time < ? ORDER BY time");
    if (!count.ok() || !rows.ok()) {
        error = db.lastError();
        return ExportOutcome::Failed;
    }
    for (sqlite3_stmt* st : {count.get(), rows.get()}) {
        sqlite3_bind_int64(st, 1, from);
        sqlite3_bind_int64(st, 2, to);
    }
    const int64_t total =
        sqlite3_step(count.get()) == SQLITE_ROW ? sqlite3_column_int64(count.get(), 0) : 0;

    // Written beside the target and renamed over it at the end: a cancelled or failed export
    // never leaves a half file under the chosen name.
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "Create file error!";
        return ExportOutcome::Failed;
    }
    auto abandon = [&](ExportOutcome outcome) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return outcome;
    };

    // The interval rules of the data export: below 5 s every sample, otherwise one sample per
    // interval.
    const int64_t interval = range.intervalSeconds < 5 ? 0 : range.intervalSeconds;
    std::string text = CsvExport::sampleHeader();
    int64_t done = 0;
    int64_t nextTime = from;
    int32_t power[kChannelRecords];
    LocalTimeLabels labels;  // rows rise in time: the local date is worked out once a day
    int step;
    if (progress && !progress(0, total)) return abandon(ExportOutcome::Cancelled);
    while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
        ++done;
        const int64_t time = sqlite3_column_int64(rows.get(), 0);
        if (time < nextTime) continue;
        nextTime = time + interval;
        for (int k = 0; k < kChannelRecords; ++k) power[k] = sqlite3_column_int(rows.get(), k + 1);
        CsvExport::appendSampleLine(text, time, power, labels);
        if (text.size() >= kFlushBytes) {
            if (!writeAll(fd, text.data(), text.size())) {
                error = "Fail to write " + range.csvPath;
                return abandon(ExportOutcome::Failed);
            }
            text.clear();
            if (progress && !progress(done, total)) return abandon(ExportOutcome::Cancelled);
        }
    }
    if (step != SQLITE_DONE) {
        error = db.lastError();
        return abandon(ExportOutcome::Failed);
    }
    if (!writeAll(fd, text.data(), text.size()) || ::fsync(fd) != 0) {
        error = "Fail to write " + range.csvPath;
        return abandon(ExportOutcome::Failed);
    }
    if (::close(fd) != 0 || std::rename(temporary.c_str(), range.csvPath.c_str()) != 0) {
        ::unlink(temporary.c_str());
        error = "Fail to write " + range.csvPath;
        return ExportOutcome::Failed;
    }
    if (progress) progress(total, total);
    return ExportOutcome::Written;
}
