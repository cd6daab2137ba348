// Loaded with LD_PRELOAD into a save helper: notes, in order, the file-system calls the
// process makes on the files of one directory, for the save-order and power-loss tests.
//
//   KELVO_JOURNAL_DIR          the watched directory; a descriptor of the directory itself
//                              shows as "."
//   KELVO_JOURNAL_LOG          the journal, one line per call, names as they were when opened:
//                                open NAME / fsync NAME / fsync NAME failed / close NAME /
//                                rename FROM TO / write NAME OFFSET LENGTH, then the bytes
//   KELVO_JOURNAL_FAIL_FSYNC   fsync and fdatasync of a watched file whose name contains this
//                              text fail with EIO instead of reaching the disk
//
// Only calls that succeed (and the refused fsync) are noted. The journal is written with raw
// system calls, so it never shows up in itself.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kMaxFd = 1024;

struct Journal {
    char dir[PATH_MAX] = {};
    char failFsync[NAME_MAX + 1] = {};
    int log = -1;
    char names[kMaxFd][NAME_MAX + 2] = {};  // per descriptor; empty when not watched
};

Journal g_journal;
pthread_once_t g_once = PTHREAD_ONCE_INIT;
pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;

void setUp() {
    const char* dir = getenv("KELVO_JOURNAL_DIR");
    const char* log = getenv("KELVO_JOURNAL_LOG");
    const char* fail = getenv("KELVO_JOURNAL_FAIL_FSYNC");
    if (!dir || !log || !realpath(dir, g_journal.dir)) return;
    if (fail) snprintf(g_journal.failFsync, sizeof g_journal.failFsync, "%s", fail);
    g_journal.log = static_cast<int>(
        syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
}

bool active() {
    pthread_once(&g_once, setUp);
    return g_journal.log >= 0;
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void emit(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const long n = syscall(SYS_write, g_journal.log, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        size -= static_cast<size_t>(n);
    }
}

// The name of `path` inside the watched directory ("." for the directory), or false.
bool watchedName(const char* path, char (&name)[NAME_MAX + 2]) {
    char resolved[PATH_MAX];
    if (!realpath(path, resolved)) return false;
    if (strcmp(resolved, g_journal.dir) == 0) {
        strcpy(name, ".");
        return true;
    }
    const size_t dirLength = strlen(g_journal.dir);
    const char* rest = resolved + dirLength;
    if (strncmp(resolved, g_journal.dir, dirLength) != 0 || rest[0] != '/' ||
        strchr(rest + 1, '/') || strlen(rest + 1) > NAME_MAX) {
        return false;
    }
    strcpy(name, rest + 1);
    return true;
}

// A path that may not exist (yet or any more): its directory is resolved, not the name.
bool watchedEntry(const char* path, char (&name)[NAME_MAX + 2]) {
    const char* slash = strrchr(path, '/');
    char dir[PATH_MAX];
    if (!slash) {
        strcpy(dir, ".");
    } else if (static_cast<size_t>(slash - path) >= sizeof dir) {
        return false;
    } else {
        memcpy(dir, path, static_cast<size_t>(slash - path));
        dir[slash - path] = 0;
        if (slash == path) strcpy(dir, "/");
    }
    char dirName[NAME_MAX + 2];
    const char* base = slash ? slash + 1 : path;
    if (!watchedName(dir, dirName) || strcmp(dirName, ".") != 0 || strlen(base) > NAME_MAX) {
        return false;
    }
    strcpy(name, base);
    return true;
}

void noteOpen(int fd) {
    if (fd < 0 || fd >= kMaxFd || !active()) return;
    char link[64];
    char path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0) return;
    path[length] = 0;
    pthread_mutex_lock(&g_lock);
    g_journal.names[fd][0] = 0;  // the number may have been closed by a call not seen here
    if (watchedName(path, g_journal.names[fd])) {
        char line[NAME_MAX + 16];
        emit(line,
             static_cast<size_t>(snprintf(line, sizeof line, "open %s\n", g_journal.names[fd])));
    }
    pthread_mutex_unlock(&g_lock);
}

const char* watchedFd(int fd) {
    if (fd < 0 || fd >= kMaxFd || !active() || !g_journal.names[fd][0]) return nullptr;
    return g_journal.names[fd];
}

void noteWrite(int fd, long long offset, const void* data, ssize_t written) {
    const char* name = watchedFd(fd);
    if (!name || written <= 0) return;
    pthread_mutex_lock(&g_lock);
    char line[NAME_MAX + 64];
    emit(line, static_cast<size_t>(snprintf(line, sizeof line, "write %s %lld %lld\n", name, offset,
                                            static_cast<long long>(written))));
    emit(data, static_cast<size_t>(written));
    pthread_mutex_unlock(&g_lock);
}

void noteLine(const char* what, const char* name, const char* extra = "") {
    pthread_mutex_lock(&g_lock);
    char line[2 * NAME_MAX + 32];
    emit(line, static_cast<size_t>(snprintf(line, sizeof line, "%s %s%s\n", what, name, extra)));
    pthread_mutex_unlock(&g_lock);
}

int synced(int (*real)(int), int fd) {
    const char* name = watchedFd(fd);
    if (name && g_journal.failFsync[0] && strstr(name, g_journal.failFsync)) {
        noteLine("fsync", name, " failed");
        errno = EIO;
        return -1;
    }
    const int result = real(fd);
    if (name && result == 0) noteLine("fsync", name);
    return result;
}

// Passes a descriptor on after noting what it opened, errno untouched.
int opened(int fd) {
    const int saved = errno;
    noteOpen(fd);
    errno = saved;
    return fd;
}

mode_t modeArgument(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

int renameNoted(const char* from, const char* to, int result) {
    const int saved = errno;
    char fromName[NAME_MAX + 2];
    char toName[NAME_MAX + 2];
    if (result == 0 && active() && watchedEntry(from, fromName) && watchedEntry(to, toName)) {
        char pair[2 * NAME_MAX + 8];
        snprintf(pair, sizeof pair, "%s %s", fromName, toName);
        noteLine("rename", pair);
    }
    errno = saved;
    return result;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    static const auto real = next<int (*)(const char*, int, ...)>("open");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return opened(real(path, flags, mode));
}

int openat(int dirFd, const char* path, int flags, ...) {
    static const auto real = next<int (*)(int, const char*, int, ...)>("openat");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return opened(real(dirFd, path, flags, mode));
}

ssize_t write(int fd, const void* data, size_t size) {
    const long long offset = watchedFd(fd) ? lseek(fd, 0, SEEK_CUR) : -1;
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    const ssize_t written = real(fd, data, size);
    const int saved = errno;
    noteWrite(fd, offset, data, written);
    errno = saved;
    return written;
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    const ssize_t written = real(fd, data, size, offset);
    const int saved = errno;
    noteWrite(fd, offset, data, written);
    errno = saved;
    return written;
}

int fsync(int fd) {
    static const auto real = next<int (*)(int)>("fsync");
    return synced(real, fd);
}

int fdatasync(int fd) {
    static const auto real = next<int (*)(int)>("fdatasync");
    return synced(real, fd);
}

int close(int fd) {
    static const auto real = next<int (*)(int)>("close");
    if (const char* name = watchedFd(fd)) {
        noteLine("close", name);
        pthread_mutex_lock(&g_lock);
        g_journal.names[fd][0] = 0;
        pthread_mutex_unlock(&g_lock);
    }
    return real(fd);
}

int rename(const char* from, const char* to) {
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    return renameNoted(from, to, real(from, to));
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    static const auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
    const int result = real(fromDir, from, toDir, to);
    // Only paths relative to the working directory or absolute ones are resolved.
    if (fromDir != AT_FDCWD && from[0] != '/') return result;
    if (toDir != AT_FDCWD && to[0] != '/') return result;
    return renameNoted(from, to, result);
}

}  // extern "C"
