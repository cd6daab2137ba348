#include "core/archive/ArchiveWriter.h"

#include <sqlite3.h>

#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "core/archive/ArchiveDatabase.h"
#include "core/base/Clock.h"
#include "core/base/MessageSink.h"

namespace {

struct QueuedRow {
    int64_t time;
    std::array<int32_t, kChannelRecords> power;
    bool energyChanged;  // the tables differ from those of the row before
    DayTable days;
    MonthTable months;
};

std::string localDate(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    char text[16] = "";
    if (localtime_r(&t, &local)) std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// Rows written per transaction: one commit per batch keeps a backlog quick to write.
constexpr size_t kBatchRows = 2000;

}  // namespace

struct ArchiveWriter::Shared {
    Shared(MessageSink& messages, Clock& clock) : messages(messages), clock(clock) {}

    MessageSink& messages;
    Clock& clock;

    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<QueuedRow> queue;
    bool stop = false;
    bool busy = false;          // a batch is being written
    bool failing = false;       // the last try failed; waiting for the retry
    bool reconfigured = false;  // settings changed since the thread last looked
    ArchiveSettings settings;
    std::string path;  // resolved file
    std::chrono::milliseconds retryDelay = std::chrono::seconds(30);
    std::string status;
    size_t dropped = 0;
    bool haveQueuedEnergy = false;  // tick side: the tables of the last queued row
    DayTable queuedDays{};
    MonthTable queuedMonths{};

    // Writer thread only.
    ArchiveDatabase db;
    bool reported = false;   // the box for the present problem has been shown
    std::string energyDate;  // the local day whose tables were last written
    std::string retentionDate;
    std::thread thread;

    void run();
    bool openArchive(std::string& error);
    bool writeBatch(const std::vector<QueuedRow>& rows, std::string& error);
    bool writeEnergy(ArchiveStatement& upsert, const std::string& date, const QueuedRow& row,
                     std::string& error);
    bool applyRetention(std::string& error);
    void fail(std::unique_lock<std::mutex>& held, const std::string& reason);
};

ArchiveWriter::ArchiveWriter(MessageSink& messages, Clock& clock)
    : m_shared(std::make_unique<Shared>(messages, clock)) {
    m_shared->settings.enabled = false;  // nothing is written before configure()
    m_shared->thread = std::thread([shared = m_shared.get()] { shared->run(); });
}

ArchiveWriter::~ArchiveWriter() {
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->stop = true;
    }
    m_shared->wake.notify_all();
    m_shared->thread.join();
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

void ArchiveWriter::onMeterSample(const MeterSample& sample) {
    Shared& s = *m_shared;
    {
        std::lock_guard lock(s.lock);
        if (!s.settings.enabled) return;
        QueuedRow row{sample.time, sample.power, false, sample.days, sample.months};
        row.energyChanged = !s.haveQueuedEnergy ||
                            std::memcmp(&s.queuedDays, &sample.days, sizeof sample.days) != 0 ||
                            std::memcmp(&s.queuedMonths, &sample.months, sizeof sample.months) != 0;
        s.haveQueuedEnergy = true;
        s.queuedDays = sample.days;
        s.queuedMonths = sample.months;
        if (s.queue.size() >= kQueueLimit) {
            s.queue.pop_front();
            ++s.dropped;
        }
        s.queue.push_back(row);
    }
    s.wake.notify_all();
}

std::string ArchiveWriter::statusText() const {
    std::lock_guard lock(m_shared->lock);
    return m_shared->status;
}

void ArchiveWriter::waitIdle() {
    std::unique_lock lock(m_shared->lock);
    m_shared->idle.wait(lock, [&] {
        const Shared& s = *m_shared;
        return s.stop || s.failing || !s.settings.enabled || (s.queue.empty() && !s.busy);
    });
}

void ArchiveWriter::Shared::fail(std::unique_lock<std::mutex>& held, const std::string& reason) {
    db.close();
    failing = true;
    status = "Archive not written (" + reason + "), retrying";
    idle.notify_all();
    if (reported) return;
    reported = true;
    const std::string text = "Fail to write archive file " + path + ": " + reason;
    // The box waits for the user: never with the queue locked, so the tick goes on queuing.
    held.unlock();
    messages.show(text);
    held.lock();
}

void ArchiveWriter::Shared::run() {
    std::unique_lock held(lock);
    auto retryAt = std::chrono::steady_clock::now();
    while (true) {
        wake.wait_until(
            held, failing ? retryAt : std::chrono::steady_clock::time_point::max(), [&] {
                return stop || reconfigured || (!failing && !queue.empty() && settings.enabled);
            });
        if (reconfigured) {
            reconfigured = false;
            db.close();
            failing = false;
            reported = false;
            status.clear();
        }
        if (!settings.enabled) {
            queue.clear();
            db.close();
            idle.notify_all();
            if (stop) return;
            continue;
        }
        if (failing && std::chrono::steady_clock::now() < retryAt && !stop) continue;
        // At the end, one last try with what is queued, then out: never a wait for a retry.
        if (stop && (failing || queue.empty())) return;
        failing = false;
        std::string error;
        if (!db.isOpen()) {
            held.unlock();
            const bool opened = openArchive(error);
            held.lock();
            if (!opened) {
                retryAt = std::chrono::steady_clock::now() + retryDelay;
                fail(held, error);
                continue;
            }
        }
        if (queue.empty()) continue;
        const size_t n = std::min(queue.size(), kBatchRows);
        std::vector<QueuedRow> batch(queue.begin(), queue.begin() + static_cast<long>(n));
        queue.erase(queue.begin(), queue.begin() + static_cast<long>(n));
        busy = true;
        held.unlock();
        const bool written = writeBatch(batch, error);
        held.lock();
        busy = false;
        if (written) {
            reported = false;
            status = dropped ? std::to_string(dropped) + " samples not archived (memory full)" : "";
        } else {
            // Put back in front, still bounded: the oldest give way.
            for (auto it = batch.rbegin(); it != batch.rend(); ++it) {
                if (queue.size() >= kQueueLimit) {
                    ++dropped;
                    continue;
                }
                queue.push_front(*it);
            }
            retryAt = std::chrono::steady_clock::now() + retryDelay;
            fail(held, error);
        }
        idle.notify_all();
    }
}

bool ArchiveWriter::Shared::openArchive(std::string& error) {
    if (!db.open(path, true, error)) return false;
    retentionDate.clear();
    energyDate.clear();
    return true;
}

bool ArchiveWriter::Shared::writeEnergy(ArchiveStatement& upsert, const std::string& date,
                                        const QueuedRow& row, std::string& error) {
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
    return ok;
}

bool ArchiveWriter::Shared::writeBatch(const std::vector<QueuedRow>& rows, std::string& error) {
    if (!db.exec("BEGIN IMMEDIATE", error)) return false;
    ArchiveStatement insert(
        db, "INSERT OR REPLACE INTO power VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    ArchiveStatement upsert(db, "INSERT OR REPLACE INTO device_energy VALUES(?,?,?,?,?)");
    bool ok = insert.ok() && upsert.ok();
    if (!ok) error = db.lastError();
    // Kept only once the batch is committed.
    const std::string keptDate = energyDate;
    for (size_t i = 0; ok && i < rows.size(); ++i) {
        const QueuedRow& row = rows[i];
        sqlite3_stmt* st = insert.get();
        sqlite3_bind_int64(st, 1, row.time);
        for (int k = 0; k < kChannelRecords; ++k) sqlite3_bind_int(st, k + 2, row.power[k]);
        ok = sqlite3_step(st) == SQLITE_DONE;
        if (!ok) error = db.lastError();
        sqlite3_reset(st);
        const std::string date = localDate(row.time);
        if (ok && (row.energyChanged || date != energyDate)) {
            energyDate = date;
            ok = writeEnergy(upsert, date, row, error);
        }
    }
    if (ok) ok = applyRetention(error);
    if (ok && db.exec("COMMIT", error)) return true;
    std::string ignored;
    db.exec("ROLLBACK", ignored);
    energyDate = keptDate;
    return false;
}

bool ArchiveWriter::Shared::applyRetention(std::string& error) {
    int keepDays;
    {
        std::lock_guard guard(lock);
        keepDays = settings.keepDays;
    }
    const int64_t now = clock.now();
    const std::string today = localDate(now);
    if (keepDays <= 0 || today == retentionDate) return true;
    const int64_t cutoff = now - static_cast<int64_t>(keepDays) * 86400;
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
