#include "core/archive/ArchiveExport.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>

#include "core/archive/ArchiveDatabase.h"
#include "core/archive/ArchiveReader.h"
#include "core/base/CrashSafeFile.h"
#include "core/store/CsvExport.h"

namespace {

// Text is written in pieces of about this size, and progress is told as often.
constexpr size_t kFlushBytes = 1 << 20;

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
    const std::string temporary = range.csvPath + ".part";
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
    int step;
    if (progress && !progress(0, total)) return abandon(ExportOutcome::Cancelled);
    while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
        ++done;
        const int64_t time = sqlite3_column_int64(rows.get(), 0);
        if (time < nextTime) continue;
        nextTime = time + interval;
        for (int k = 0; k < kChannelRecords; ++k) power[k] = sqlite3_column_int(rows.get(), k + 1);
        CsvExport::appendSampleLine(text, time, power);
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
