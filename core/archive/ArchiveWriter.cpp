#include "core/archive/ArchiveWriter.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "core/archive/ArchiveDatabase.h"
#include "core/archive/PendingRows.h"
#include "core/base/BackgroundWorker.h"
#include "core/base/Clock.h"
#include "core/base/LocalTimeFormat.h"
#include "core/base/MessageSink.h"

namespace {

std::string localDate(int64_t seconds) { return formatLocalTime(seconds, "%Y-%m-%d"); }

// Seconds since boot, suspend included: how much time has really passed, whatever the wall
// clock does.
int64_t bootSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec;
}

// True also when the file cannot be looked at: then it is nobody else's either.
bool ownedByThisUser(const std::string& path) {
    struct stat file {};
    return ::stat(path.c_str(), &file) != 0 || file.st_uid == ::geteuid();
}

// Rows written per transaction: one commit per batch keeps a backlog quick to write.
constexpr size_t kBatchRows = 2000;
constexpr int64_t kDaySeconds = 86400;

}  // namespace

// The samples waiting for the archive, and the writer thread that takes them there.
struct ArchiveWriter::SampleQueue {
    SampleQueue(MessageSink& messages, Clock& clock) : messages(messages), clock(clock) {}

    MessageSink& messages;
    Clock& clock;

    std::mutex lock;
    std::deque<ArchiveRow> queue;
    // Per local date, the newest row that gave way to newer ones while the file could not be
    // written: its energy tables are still that day's last word.
    std::map<std::string, ArchiveRow> droppedEnergy;
    bool failing = false;       // the last try failed; waiting for the retry
    bool reconfigured = false;  // settings changed since the thread last looked
    bool openWanted = false;    // open (and merge the pending file) without waiting for a row
    ArchiveSettings settings;
    std::string path;  // resolved file
    std::chrono::milliseconds retryDelay = std::chrono::seconds(30);
    std::chrono::steady_clock::time_point retryAt;  // while failing
    std::string failure;            // why the last try failed; empty once a try succeeds
    bool readOnly = false;          // the last try found a file this user may only read
    size_t dropped = 0;             // samples given up since the archive was last whole
    // Rows ever queued, and those of them settled: written, or given up for lack of room or
    // because archiving was turned off. waitIdle() waits for the ones queued before it.
    uint64_t queuedRows = 0;
    uint64_t settledRows = 0;
    bool haveQueuedEnergy = false;  // tick side: the tables of the last queued row
    DayTable queuedDays{};
    MonthTable queuedMonths{};
    // Texts for the message sink, shown by a thread of their own: a box the user leaves open
    // never holds up the writing.
    std::deque<std::string> reports;

    // Writer thread only.
    ArchiveDatabase db;
    bool closeWanted = false;
    bool reported = false;  // the box for the present problem has been shown
    std::string openPath;   // the file db has open, and its identity when opened
    dev_t openDevice = 0;
    ino_t openInode = 0;
    std::string energyDate;        // the local day whose tables were last written
    std::string newestEnergyDate;  // the newest day in device_energy
    std::string retentionDate;
    bool anchored = false;  // wall clock and boot time when retention first ran
    int64_t anchorWall = 0;
    int64_t anchorBoot = 0;

    // Last, so they stop before anything they use goes.
    BackgroundWorker writer{lock};
    BackgroundWorker reporter{lock};

    // What one trip to the file takes along, copied under the lock.
    struct Work {
        std::string path;
        int keepDays = 0;
        std::vector<ArchiveRow> rows;
        std::vector<ArchiveRow> droppedEnergy;
        bool fromPendingFile = false;  // rows that may be in the archive already
    };

    bool hasWork() const {
        return reconfigured || (!failing && settings.enabled && (openWanted || !queue.empty()));
    }
    void takeSettings();
    void writeStep(std::unique_lock<std::mutex>& held);
    void closeDisabled(std::unique_lock<std::mutex>& held);
    void finish(std::unique_lock<std::mutex>& held);
    void report(std::unique_lock<std::mutex>& held);
    Work takeWork();
    void dropOldest();
    bool write(const Work& work, std::string& error, std::string& notice);
    bool stillAtPath() const;
    bool openArchive(const std::string& file, int keepDays, std::string& error);
    bool writeBatch(const Work& work, std::string& error);
    bool insertRow(ArchiveStatement& insert, ArchiveStatement& existing, const ArchiveRow& row,
                   bool skipSame, std::string& error);
    bool writeEnergy(ArchiveStatement& upsert, const ArchiveRow& row, std::string& error);
    bool applyRetention(int keepDays, std::string& error);
    void say(const std::string& text);
};

ArchiveWriter::ArchiveWriter(MessageSink& messages, Clock& clock)
    : m_queue(std::make_unique<SampleQueue>(messages, clock)) {
    SampleQueue& q = *m_queue;
    q.settings.enabled = false;  // nothing is written before configure()
    q.writer.start({
        .name = "kelvo-archive",
        .ready = [&q] { return q.hasWork(); },
        .deadline = [&q] { return q.failing ? std::optional(q.retryAt) : std::nullopt; },
        .step = [&q](std::unique_lock<std::mutex>& held) { q.writeStep(held); },
        .finish =
            [&q](std::unique_lock<std::mutex>& held) {
                q.takeSettings();
                if (q.settings.enabled)
                    q.finish(held);
                else
                    q.closeDisabled(held);
            },
    });
    // At the end the sink's shut-down lets every box still due return at once.
    auto report = [&q](std::unique_lock<std::mutex>& held) { q.report(held); };
    q.reporter.start(
        {.name = "kelvo-archbox",
         .ready = [&q] { return !q.reports.empty(); }, .step = report, .finish = report});
}

ArchiveWriter::~ArchiveWriter() {
    m_queue->writer.stop();
    // After the writer, so what its last step had to say is shown too. A box still open is
    // closed by the sink's own shut-down.
    m_queue->reporter.stop();
}

void ArchiveWriter::configure(const ArchiveSettings& settings,
                              const std::string& workingDirectory) {
    {
        std::lock_guard lock(m_queue->lock);
        m_queue->settings = settings;
        m_queue->path = settings.path(workingDirectory);
        m_queue->reconfigured = true;
    }
    m_queue->writer.wake();
}

void ArchiveWriter::setRetryDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_queue->lock);
    m_queue->retryDelay = delay;
}

void ArchiveWriter::SampleQueue::dropOldest() {
    ArchiveRow& oldest = queue.front();
    droppedEnergy[localDate(oldest.time)] = oldest;
    queue.pop_front();
    ++dropped;
    ++settledRows;
}

void ArchiveWriter::onMeterSample(const MeterSample& sample) {
    SampleQueue& s = *m_queue;
    {
        std::lock_guard lock(s.lock);
        if (!s.settings.enabled) return;
        ArchiveRow row{sample.time, sample.power, false, sample.days, sample.months};
        row.energyChanged = !s.haveQueuedEnergy ||
                            std::memcmp(&s.queuedDays, &sample.days, sizeof sample.days) != 0 ||
                            std::memcmp(&s.queuedMonths, &sample.months, sizeof sample.months) != 0;
        s.haveQueuedEnergy = true;
        s.queuedDays = sample.days;
        s.queuedMonths = sample.months;
        if (s.queue.size() >= kQueueLimit) s.dropOldest();
        s.queue.push_back(row);
        ++s.queuedRows;
    }
    s.writer.wake();
}

std::string ArchiveWriter::statusText() const {
    std::lock_guard lock(m_queue->lock);
    const SampleQueue& s = *m_queue;
    const std::string lost = std::to_string(s.dropped) + " samples not archived";
    if (s.readOnly) return "Archive read-only, not written" + (s.dropped ? "; " + lost : "");
    if (!s.failure.empty())
        return "Archive not written (" + s.failure + "), retrying" + (s.dropped ? "; " + lost : "");
    return s.dropped ? lost + " (memory full)" : "";
}

void ArchiveWriter::waitIdle() {
    const SampleQueue& s = *m_queue;
    uint64_t queuedSoFar = 0;
    {
        std::lock_guard lock(m_queue->lock);
        queuedSoFar = s.queuedRows;
    }
    // Rows queued after this call do not count: at a fast rhythm the queue is never empty.
    m_queue->writer.waitIdle([&] {
        return s.writer.stopping() || !s.settings.enabled ||
               (!s.reconfigured &&
                (s.failing || (s.settledRows >= queuedSoFar && !s.openWanted)));
    });
}

void ArchiveWriter::SampleQueue::say(const std::string& text) {
    reports.push_back(text);
    reporter.wake();
}

void ArchiveWriter::SampleQueue::report(std::unique_lock<std::mutex>& held) {
    while (!reports.empty()) {
        const std::string text = reports.front();
        reports.pop_front();
        held.unlock();
        messages.show(text);
        held.lock();
    }
}

ArchiveWriter::SampleQueue::Work ArchiveWriter::SampleQueue::takeWork() {
    Work work;
    work.path = path;
    work.keepDays = settings.keepDays;
    const size_t n = std::min(queue.size(), kBatchRows);
    work.rows.assign(queue.begin(), queue.begin() + static_cast<long>(n));
    queue.erase(queue.begin(), queue.begin() + static_cast<long>(n));
    for (auto& [date, row] : droppedEnergy) work.droppedEnergy.push_back(row);
    droppedEnergy.clear();
    return work;
}

// Settings changed by configure() take effect: the file is opened again (and its pending
// file merged) at once.
void ArchiveWriter::SampleQueue::takeSettings() {
    if (!reconfigured) return;
    reconfigured = false;
    closeWanted = true;
    failing = false;
    reported = false;
    failure.clear();
    readOnly = false;
    openWanted = settings.enabled;
}

void ArchiveWriter::SampleQueue::closeDisabled(std::unique_lock<std::mutex>& held) {
    settledRows += queue.size();
    queue.clear();
    droppedEnergy.clear();
    openWanted = false;
    held.unlock();
    db.close();
    held.lock();
}

void ArchiveWriter::SampleQueue::writeStep(std::unique_lock<std::mutex>& held) {
    takeSettings();
    if (!settings.enabled) {
        closeDisabled(held);
        return;
    }
    if (failing && std::chrono::steady_clock::now() < retryAt) return;
    failing = false;
    Work work = takeWork();
    held.unlock();
    std::string error;
    std::string notice;
    const bool written = write(work, error, notice);
    held.lock();
    openWanted = false;  // only now: waitIdle() after a configure() waits for the open
    if (!notice.empty()) say(notice);
    readOnly = !written && db.readOnlyFile();
    if (written) {
        settledRows += work.rows.size();
        reported = false;
        failure.clear();
        // Once the backlog is written the archive is whole again from here on.
        if (queue.empty()) dropped = 0;
        return;
    }
    // Put back in front, still bounded: the oldest give way.
    for (auto it = work.rows.rbegin(); it != work.rows.rend(); ++it) {
        if (queue.size() < kQueueLimit) {
            queue.push_front(*it);
            continue;
        }
        droppedEnergy.emplace(localDate(it->time), *it);  // newer ones of its day win
        ++dropped;
        ++settledRows;
    }
    for (const ArchiveRow& row : work.droppedEnergy)
        droppedEnergy.emplace(localDate(row.time), row);
    retryAt = std::chrono::steady_clock::now() + retryDelay;
    failing = true;
    failure = error;
    // Another user's archive, pointed at to be viewed (a recorder's, say), is no failure
    // worth a box: the status bar says it is not written. This user's own turned read-only is.
    if (readOnly && !ownedByThisUser(work.path)) return;
    if (!reported) say("Fail to write archive file " + work.path + ": " + error);
    reported = true;
}

void ArchiveWriter::SampleQueue::finish(std::unique_lock<std::mutex>& held) {
    // One last try with everything queued, retry delay or not; what still cannot be written
    // goes to the pending file and reaches the archive at the next start.
    bool written = true;
    while (written && (!queue.empty() || !droppedEnergy.empty())) {
        Work work = takeWork();
        held.unlock();
        std::string error;
        std::string notice;
        written = write(work, error, notice);
        held.lock();
        if (!written) queue.insert(queue.begin(), work.rows.begin(), work.rows.end());
    }
    std::vector<ArchiveRow> rows(queue.begin(), queue.end());
    queue.clear();
    const std::string file = pending::pathFor(path);
    held.unlock();
    db.close();
    if (!rows.empty()) {
        // A pending file left by an earlier run that never reached the archive comes first.
        std::vector<ArchiveRow> older;
        if (pending::load(file, older)) rows.insert(rows.begin(), older.begin(), older.end());
        if (rows.size() > kQueueLimit)
            rows.erase(rows.begin(), rows.end() - static_cast<long>(kQueueLimit));
        rows.front().energyChanged = true;
        pending::save(file, rows);
    }
    held.lock();
}

bool ArchiveWriter::SampleQueue::stillAtPath() const {
    struct stat now {};
    if (::stat(openPath.c_str(), &now) != 0) return errno != ENOENT && errno != ENOTDIR;
    return now.st_dev == openDevice && now.st_ino == openInode;
}

bool ArchiveWriter::SampleQueue::write(const Work& work, std::string& error, std::string& notice) {
    if (closeWanted || (db.isOpen() && openPath != work.path)) db.close();
    closeWanted = false;
    if (db.isOpen() && !stillAtPath()) {
        // Deleted or moved away: writing on would go into a file nobody can see.
        db.close();
        notice = "Archive file " + openPath + " was deleted or moved; a new one is started";
    }
    if (!db.isOpen() && !openArchive(work.path, work.keepDays, error)) return false;
    if (work.rows.empty() && work.droppedEnergy.empty()) return true;
    if (writeBatch(work, error)) return true;
    db.close();
    return false;
}

bool ArchiveWriter::SampleQueue::openArchive(const std::string& file, int keepDays,
                                             std::string& error) {
    if (!db.open(file, true, error)) return false;
    struct stat opened {};
    if (::stat(file.c_str(), &opened) != 0) {
        error = std::strerror(errno);
        db.close();
        return false;
    }
    openPath = file;
    openDevice = opened.st_dev;
    openInode = opened.st_ino;
    retentionDate.clear();
    energyDate.clear();
    newestEnergyDate.clear();
    {
        ArchiveStatement newest(db, "SELECT max(date) FROM device_energy");
        if (newest.ok() && sqlite3_step(newest.get()) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(newest.get(), 0);
            if (text) newestEnergyDate = reinterpret_cast<const char*>(text);
        }
    }
    // What the last run could not write goes in before anything newer.
    const std::string pendingFile = pending::pathFor(file);
    Work merge;
    merge.keepDays = keepDays;
    merge.fromPendingFile = true;
    if (!pending::load(pendingFile, merge.rows)) return true;
    if (!merge.rows.empty() && !writeBatch(merge, error)) {
        db.close();
        return false;
    }
    ::unlink(pendingFile.c_str());
    return true;
}

bool ArchiveWriter::SampleQueue::insertRow(ArchiveStatement& insert, ArchiveStatement& existing,
                                           const ArchiveRow& row, bool skipSame,
                                           std::string& error) {
    // A committed row is never replaced. A second sample for a second already taken (a clock
    // stepped back) goes to the next free second, so it is kept and read back in the nearest
    // free slot. Only a pending file's row equal to the one in its second is taken for the
    // same sample (a merge cut off between its commit and the file's removal), never a live
    // one: a night of equal readings after a clock step still counts every sample.
    for (int64_t time = row.time; time < row.time + kDaySeconds; ++time) {
        sqlite3_stmt* st = insert.get();
        sqlite3_bind_int64(st, 1, time);
        for (int k = 0; k < kChannelRecords; ++k) sqlite3_bind_int(st, k + 2, row.power[k]);
        const int step = sqlite3_step(st);
        sqlite3_reset(st);
        if (step != SQLITE_DONE) {
            error = db.lastError();
            return false;
        }
        if (sqlite3_changes(db.handle()) == 1) return true;
        if (!skipSame) continue;
        sqlite3_stmt* q = existing.get();
        sqlite3_bind_int64(q, 1, time);
        bool same = sqlite3_step(q) == SQLITE_ROW;
        for (int k = 0; same && k < kChannelRecords; ++k)
            same = sqlite3_column_int(q, k) == row.power[k];
        sqlite3_reset(q);
        if (same) return true;
    }
    return true;  // a whole day of seconds taken: nothing sound left to do with it
}

bool ArchiveWriter::SampleQueue::writeEnergy(ArchiveStatement& upsert, const ArchiveRow& row,
                                             std::string& error) {
    const std::string date = localDate(row.time);
    // A clock behind the newest day written never gives that older day today's tables.
    if (date < newestEnergyDate) return true;
    if (!row.energyChanged && date == energyDate) return true;
    sqlite3_stmt* st = upsert.get();
    const std::string values[] = {
        commaSeparated(row.days.consumption, kDays), commaSeparated(row.days.solar, kDays),
        commaSeparated(row.months.consumption, kMonths), commaSeparated(row.months.solar, kMonths)};
    sqlite3_bind_text(st, 1, date.c_str(), -1, SQLITE_TRANSIENT);
    for (int i = 0; i < 4; ++i)
        sqlite3_bind_text(st, i + 2, values[i].c_str(), -1, SQLITE_TRANSIENT);
    const bool ok = sqlite3_step(st) == SQLITE_DONE;
    if (!ok) error = db.lastError();
    sqlite3_reset(st);
    energyDate = date;
    newestEnergyDate = date;
    return ok;
}

bool ArchiveWriter::SampleQueue::writeBatch(const Work& work, std::string& error) {
    if (!db.exec("BEGIN IMMEDIATE", error)) return false;
    ArchiveStatement insert(
        db, "INSERT OR IGNORE INTO power VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    ArchiveStatement existing(db,
                              "SELECT total, ch01, ch02, ch03, ch04, ch05, ch06, ch07, ch08, "
                              "ch09, ch10, ch11, ch12, spare13, consumption, solar FROM power "
                              "WHERE time = ?");
    ArchiveStatement upsert(db, "INSERT OR REPLACE INTO device_energy VALUES(?,?,?,?,?)");
    bool ok = insert.ok() && existing.ok() && upsert.ok();
    if (!ok) error = db.lastError();
    // Kept only once the batch is committed.
    const std::string keptDate = energyDate;
    const std::string keptNewest = newestEnergyDate;
    for (const ArchiveRow& row : work.droppedEnergy) {
        ArchiveRow changed = row;
        changed.energyChanged = true;
        if (ok) ok = writeEnergy(upsert, changed, error);
    }
    for (size_t i = 0; ok && i < work.rows.size(); ++i) {
        ok = insertRow(insert, existing, work.rows[i], work.fromPendingFile, error) &&
             writeEnergy(upsert, work.rows[i], error);
    }
    if (ok) ok = applyRetention(work.keepDays, error);
    if (ok && db.exec("COMMIT", error)) return true;
    std::string ignored;
    db.exec("ROLLBACK", ignored);
    energyDate = keptDate;
    newestEnergyDate = keptNewest;
    return false;
}

bool ArchiveWriter::SampleQueue::applyRetention(int keepDays, std::string& error) {
    if (keepDays <= 0) return true;
    const int64_t now = clock.now();
    if (!anchored) {
        anchored = true;
        anchorWall = now;
        anchorBoot = bootSeconds();
    }
    // Age is measured on a wall clock that may not run ahead of the time really passed (a day
    // of slack for corrections): one jump forward never makes the newest rows look old.
    const int64_t trusted = anchorWall + (bootSeconds() - anchorBoot) + kDaySeconds;
    const int64_t reference = std::min(now, trusted);
    const std::string today = localDate(reference);
    if (today == retentionDate) return true;
    const int64_t cutoff = reference - static_cast<int64_t>(keepDays) * kDaySeconds;
    ArchiveStatement rows(db, "DELETE FROM power WHERE time < ?");
    ArchiveStatement energy(db, "DELETE FROM device_energy WHERE date < ?");
    if (!rows.ok() || !energy.ok()) {
        error = db.lastError();
        return false;
    }
    sqlite3_bind_int64(rows.get(), 1, cutoff);
    const std::string cutoffDate = localDate(cutoff);
    sqlite3_bind_text(energy.get(), 1, cutoffDate.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(rows.get()) != SQLITE_DONE || sqlite3_step(energy.get()) != SQLITE_DONE) {
        error = db.lastError();
        return false;
    }
    retentionDate = today;
    return true;
}
