#include "core/archive/ArchiveWriter.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "core/archive/ArchiveDatabase.h"
#include "core/archive/PendingRows.h"
#include "core/base/Clock.h"
#include "core/base/MessageSink.h"

namespace {

std::string localDate(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    char text[16] = "";
    if (localtime_r(&t, &local)) std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// Seconds since boot, suspend included: how much time has really passed, whatever the wall
// clock does.
int64_t bootSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec;
}

// Rows written per transaction: one commit per batch keeps a backlog quick to write.
constexpr size_t kBatchRows = 2000;
constexpr int64_t kDaySeconds = 86400;

}  // namespace

struct ArchiveWriter::Shared {
    Shared(MessageSink& messages, Clock& clock) : messages(messages), clock(clock) {}

    MessageSink& messages;
    Clock& clock;

    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::condition_variable reportWake;
    std::deque<ArchiveRow> queue;
    // Per local date, the newest row that gave way to newer ones while the file could not be
    // written: its energy tables are still that day's last word.
    std::map<std::string, ArchiveRow> droppedEnergy;
    bool stop = false;
    bool busy = false;          // the thread is working on the file without the lock
    bool failing = false;       // the last try failed; waiting for the retry
    bool reconfigured = false;  // settings changed since the thread last looked
    bool openWanted = false;    // open (and merge the pending file) without waiting for a row
    ArchiveSettings settings;
    std::string path;  // resolved file
    std::chrono::milliseconds retryDelay = std::chrono::seconds(30);
    std::string failure;            // why the last try failed; empty once a try succeeds
    size_t dropped = 0;             // samples given up since the archive was last whole
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
    std::thread thread;
    std::thread reporter;

    // What one trip to the file takes along, copied under the lock.
    struct Work {
        std::string path;
        int keepDays = 0;
        std::vector<ArchiveRow> rows;
        std::vector<ArchiveRow> droppedEnergy;
        bool fromPendingFile = false;  // rows that may be in the archive already
    };

    void run();
    void report();
    Work takeWork();
    void finish(std::unique_lock<std::mutex>& held);
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
    : m_shared(std::make_unique<Shared>(messages, clock)) {
    m_shared->settings.enabled = false;  // nothing is written before configure()
    m_shared->thread = std::thread([shared = m_shared.get()] { shared->run(); });
    m_shared->reporter = std::thread([shared = m_shared.get()] { shared->report(); });
}

ArchiveWriter::~ArchiveWriter() {
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->stop = true;
    }
    m_shared->wake.notify_all();
    m_shared->reportWake.notify_all();
    m_shared->thread.join();
    // A box still open is closed by the sink's own shut-down.
    m_shared->reporter.join();
}

void ArchiveWriter::configure(const ArchiveSettings& settings,
                              const std::string& workingDirectory) {
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->settings = settings;
        m_shared->path = settings.path(workingDirectory);
        m_shared->reconfigured = true;
    }
    m_shared->wake.notify_all();
}

void ArchiveWriter::setRetryDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_shared->lock);
    m_shared->retryDelay = delay;
}

void ArchiveWriter::Shared::dropOldest() {
    ArchiveRow& oldest = queue.front();
    droppedEnergy[localDate(oldest.time)] = oldest;
    queue.pop_front();
    ++dropped;
}

void ArchiveWriter::onMeterSample(const MeterSample& sample) {
    Shared& s = *m_shared;
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
    }
    s.wake.notify_all();
}

std::string ArchiveWriter::statusText() const {
    std::lock_guard lock(m_shared->lock);
    const Shared& s = *m_shared;
    const std::string lost = std::to_string(s.dropped) + " samples not archived";
    if (!s.failure.empty())
        return "Archive not written (" + s.failure + "), retrying" + (s.dropped ? "; " + lost : "");
    return s.dropped ? lost + " (memory full)" : "";
}

void ArchiveWriter::waitIdle() {
    std::unique_lock lock(m_shared->lock);
    m_shared->idle.wait(lock, [&] {
        const Shared& s = *m_shared;
        return s.stop || !s.settings.enabled ||
               (!s.reconfigured && (s.failing || (s.queue.empty() && !s.busy && !s.openWanted)));
    });
}

void ArchiveWriter::Shared::say(const std::string& text) {
    reports.push_back(text);
    reportWake.notify_all();
}

void ArchiveWriter::Shared::report() {
    std::unique_lock held(lock);
    while (true) {
        reportWake.wait(held, [&] { return stop || !reports.empty(); });
        // At the end the sink's shut-down lets every box still due return at once.
        if (reports.empty()) return;
        const std::string text = reports.front();
        reports.pop_front();
        held.unlock();
        messages.show(text);
        held.lock();
    }
}

ArchiveWriter::Shared::Work ArchiveWriter::Shared::takeWork() {
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

void ArchiveWriter::Shared::run() {
    std::unique_lock held(lock);
    auto retryAt = std::chrono::steady_clock::now();
    while (true) {
        wake.wait_until(held, failing ? retryAt : std::chrono::steady_clock::time_point::max(),
                        [&] {
                            return stop || reconfigured ||
                                   (!failing && settings.enabled && (openWanted || !queue.empty()));
                        });
        if (reconfigured) {
            reconfigured = false;
            closeWanted = true;
            failing = false;
            reported = false;
            failure.clear();
            openWanted = settings.enabled;
        }
        if (!settings.enabled) {
            queue.clear();
            droppedEnergy.clear();
            openWanted = false;
            held.unlock();
            db.close();
            held.lock();
            idle.notify_all();
            if (stop) return;
            continue;
        }
        if (stop) {
            finish(held);
            return;
        }
        if (failing && std::chrono::steady_clock::now() < retryAt) continue;
        failing = false;
        openWanted = false;
        Work work = takeWork();
        busy = true;
        held.unlock();
        std::string error;
        std::string notice;
        const bool written = write(work, error, notice);
        held.lock();
        busy = false;
        if (!notice.empty()) say(notice);
        if (written) {
            reported = false;
            failure.clear();
            // Once the backlog is written the archive is whole again from here on.
            if (queue.empty()) dropped = 0;
        } else {
            // Put back in front, still bounded: the oldest give way.
            for (auto it = work.rows.rbegin(); it != work.rows.rend(); ++it) {
                if (queue.size() < kQueueLimit) {
                    queue.push_front(*it);
                    continue;
                }
                droppedEnergy.emplace(localDate(it->time), *it);  // newer ones of its day win
                ++dropped;
            }
            for (const ArchiveRow& row : work.droppedEnergy)
                droppedEnergy.emplace(localDate(row.time), row);
            retryAt = std::chrono::steady_clock::now() + retryDelay;
            failing = true;
            failure = error;
            if (!reported) say("Fail to write archive file " + work.path + ": " + error);
            reported = true;
        }
        idle.notify_all();
    }
}

void ArchiveWriter::Shared::finish(std::unique_lock<std::mutex>& held) {
    // One last try with everything queued, retry delay or not; what still cannot be written
    // goes to the pending file and reaches the archive at the next start.
    bool written = true;
    while (written && (!queue.empty() || !droppedEnergy.empty())) {
        Work work = takeWork();
        busy = true;
        held.unlock();
        std::string error;
        std::string notice;
        written = write(work, error, notice);
        held.lock();
        busy = false;
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
    idle.notify_all();
}

bool ArchiveWriter::Shared::stillAtPath() const {
    struct stat now {};
    if (::stat(openPath.c_str(), &now) != 0) return errno != ENOENT && errno != ENOTDIR;
    return now.st_dev == openDevice && now.st_ino == openInode;
}

bool ArchiveWriter::Shared::write(const Work& work, std::string& error, std::string& notice) {
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

bool ArchiveWriter::Shared::openArchive(const std::string& file, int keepDays, std::string& error) {
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

bool ArchiveWriter::Shared::insertRow(ArchiveStatement& insert, ArchiveStatement& existing,
                                      const ArchiveRow& row, bool skipSame, std::string& error) {
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

bool ArchiveWriter::Shared::writeEnergy(ArchiveStatement& upsert, const ArchiveRow& row,
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

bool ArchiveWriter::Shared::writeBatch(const Work& work, std::string& error) {
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

bool ArchiveWriter::Shared::applyRetention(int keepDays, std::string& error) {
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
