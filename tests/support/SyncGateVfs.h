#pragma once

#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

// The system's own SQLite file layer with one hold added: while the gate is shut, every fsync
// of every SQLite file in this process waits for it to open, as on a slow or spun-down disk.
// Installed as the default layer for the life of the object; the files are real files.
class SyncGateVfs {
public:
    SyncGateVfs() {
        s_self = this;
        m_real = sqlite3_vfs_find(nullptr);
        m_vfs = *m_real;
        m_vfs.zName = "kelvo-sync-gate";
        m_vfs.xOpen = &open;
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~SyncGateVfs() {
        openGate();
        sqlite3_vfs_register(m_real, 1);
        sqlite3_vfs_unregister(&m_vfs);
        s_self = nullptr;
    }

    void shut() {
        std::lock_guard lock(m_lock);
        m_shut = true;
    }
    void openGate() {
        std::lock_guard lock(m_lock);
        m_shut = false;
        m_changed.notify_all();
    }
    // True once some thread waits at the shut gate (up to `limit`).
    bool waitForHeld(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, limit, [this] { return m_held > 0; });
    }

private:
    // The file object is the real layer's own; only its table of methods is swapped for a
    // copy whose xSync passes the gate first.
    static int open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags,
                    int* outFlags) {
        SyncGateVfs& self = *s_self;
        const int rc = self.m_real->xOpen(self.m_real, name, file, flags, outFlags);
        if (rc != SQLITE_OK || !file->pMethods) return rc;
        std::lock_guard lock(self.m_lock);
        if (!self.m_realMethods) {
            self.m_realMethods = file->pMethods;
            self.m_methods = *file->pMethods;
            self.m_methods.xSync = &sync;
        }
        if (file->pMethods == self.m_realMethods) file->pMethods = &self.m_methods;
        return rc;
    }
    static int sync(sqlite3_file* file, int flags) {
        SyncGateVfs& self = *s_self;
        {
            std::unique_lock lock(self.m_lock);
            ++self.m_held;
            self.m_changed.notify_all();
            self.m_changed.wait(lock, [&] { return !self.m_shut; });
            --self.m_held;
        }
        return self.m_realMethods->xSync(file, flags);
    }

    static inline SyncGateVfs* s_self = nullptr;
    sqlite3_vfs* m_real = nullptr;
    sqlite3_vfs m_vfs{};
    const sqlite3_io_methods* m_realMethods = nullptr;
    sqlite3_io_methods m_methods{};
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_shut = false;
    int m_held = 0;
};
