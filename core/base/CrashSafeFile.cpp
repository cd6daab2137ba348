#include "core/base/CrashSafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string_view>

namespace {

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Temporary names are `<name>.tmp<pid>.<serial>.<stamp>`: decimal pid and serial, stamp in
// lower-case hex. They differ per process and per call, and O_EXCL refuses anything already
// there, a planted link included. The file gets `forcedMode` when one is given (-1: none), else
// the permission bits of the regular file it replaces, set again with fchmod (which the umask
// does not narrow) before it holds a byte; a new file gets 0644 under the umask.
int createTemporary(const std::string& path, std::string& tempPath, int forcedMode) {
    static std::atomic<unsigned> serial{0};
    const auto stamp = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    struct stat old {};
    const bool replacing = ::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    const bool forced = forcedMode >= 0;
    const mode_t mode = forced      ? static_cast<mode_t>(forcedMode)
                        : replacing ? (old.st_mode & 0777)
                                    : 0644;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".tmp%ld.%u.%llx", static_cast<long>(::getpid()),
                      serial.fetch_add(1), stamp);
        tempPath = path + suffix;
        const int fd =
            ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        // Best effort: a file system without Unix permissions must not cost the save. Bits
        // asked for are a must: without them the file is not written.
        if (fd >= 0 && (replacing || forced) && ::fchmod(fd, mode) != 0 && forced) {
            ::close(fd);
            ::unlink(tempPath.c_str());
            return -1;
        }
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Drops the characters of `accepted` that lead `text`; false when there were none.
bool skipRun(std::string_view& text, std::string_view accepted) {
    const size_t run = std::min(text.find_first_not_of(accepted), text.size());
    text.remove_prefix(run);
    return run > 0;
}

// True for exactly the names createTemporary gives a save of `base`.
bool isOwnTemporary(std::string_view name, std::string_view base) {
    constexpr std::string_view kDecimal = "0123456789";
    constexpr std::string_view kHex = "0123456789abcdef";
    if (!name.starts_with(base)) return false;
    name.remove_prefix(base.size());
    if (!name.starts_with(".tmp")) return false;
    name.remove_prefix(4);
    if (!skipRun(name, kDecimal) || !name.starts_with('.')) return false;
    name.remove_prefix(1);
    if (!skipRun(name, kDecimal) || !name.starts_with('.')) return false;
    name.remove_prefix(1);
    return skipRun(name, kHex) && name.empty();
}

// A save cut short by a crash or a kill leaves its temporary file; the next complete save of
// the same file removes them, and nothing else (a user's "dast.cfg.tmp-old" stays). unlink()
// removes a link itself, never what it points to.
void removeStaleTemporaries(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* dir = ::opendir(directoryOf(path).c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        if (isOwnTemporary(entry->d_name, base)) ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace

bool writeAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

namespace {

bool replaceFile(const std::string& path, const uint8_t* data, size_t size, int forcedMode) {
    std::string tempPath;
    const int fd = createTemporary(path, tempPath, forcedMode);
    if (fd < 0) return false;

    bool ok = writeAll(fd, data, size) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    // rename() replaces a symbolic link at `path` itself; its target is left alone.
    ok = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    const int dirFd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);  // the rename is durable once the directory is
        ::close(dirFd);
    }
    removeStaleTemporaries(path);
    return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size) {
    return replaceFile(path, data, size, -1);
}

bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size, mode_t mode) {
    return replaceFile(path, data, size, static_cast<int>(mode & 07777));
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& out, size_t limit) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    uint8_t chunk[4096];
    bool ok = true;
    while (out.size() <= limit) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        const size_t room = limit + 1 - out.size();
        out.insert(out.end(), chunk, chunk + std::min(static_cast<size_t>(n), room));
    }
    ::close(fd);
    return ok;
}
