#include "core/device/posix/PosixSerialPorts.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <system_error>

namespace {

// The number after `prefix` when the whole rest of `name` is decimal digits.
std::optional<unsigned long> deviceNumber(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || name.size() == prefix.size() ||
        name.size() - prefix.size() > 6) {
        return std::nullopt;
    }
    unsigned long number = 0;
    for (char c : name.substr(prefix.size())) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<unsigned long>(c - '0');
    }
    return number;
}

}  // namespace

PosixSerialPorts::PosixSerialPorts(std::filesystem::path appDir, SerialTimings timings,
                                   std::filesystem::path deviceDir)
    : m_appDir(std::move(appDir)), m_timings(timings), m_deviceDir(std::move(deviceDir)) {}

std::vector<std::filesystem::path> PosixSerialPorts::serialDevices() const {
    static constexpr std::string_view kFamilies[] = {"ttyUSB", "ttyACM", "ttyS"};
    std::vector<std::pair<unsigned long, std::filesystem::path>> found[std::size(kFamilies)];
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_deviceDir, error)) {
        const std::string name = entry.path().filename().string();
        for (size_t f = 0; f < std::size(kFamilies); ++f) {
            if (const auto number = deviceNumber(name, kFamilies[f])) {
                found[f].emplace_back(*number, entry.path());
            }
        }
    }
    std::vector<std::filesystem::path> devices;
    for (auto& family : found) {
        std::sort(family.begin(), family.end());
        for (auto& [number, path] : family) {
            devices.push_back(std::move(path));
        }
    }
    return devices;
}

std::optional<std::filesystem::path> PosixSerialPorts::resolve(int portNumber) const {
    if (portNumber < 1) {
        return std::nullopt;
    }
    const auto pinned = m_appDir / ("Com" + std::to_string(portNumber));
    struct stat entry {};
    if (::lstat(pinned.c_str(), &entry) == 0) {
        return pinned;
    }
    const auto devices = serialDevices();
    if (static_cast<size_t>(portNumber) <= devices.size()) {
        return devices[static_cast<size_t>(portNumber) - 1];
    }
    return std::nullopt;
}

bool PosixSerialPorts::present(int portNumber) const {
    const auto path = resolve(portNumber);
    struct stat info {};
    return path && ::stat(path->c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

std::optional<LockHolder> PosixSerialPorts::holder(int portNumber) const {
    const auto path = resolve(portNumber);
    return path ? flockHolder(path->string()) : std::nullopt;
}

std::unique_ptr<SerialPort> PosixSerialPorts::open(int portNumber) {
    const auto path = resolve(portNumber);
    if (!path) {
        return nullptr;
    }
    return openTerminal(*path, m_timings);
}

std::unique_ptr<PosixSerialPort> PosixSerialPorts::openTerminal(const std::filesystem::path& path,
                                                                SerialTimings timings) {
    // Look before opening: opening a FIFO or some devices has effects of its own.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return nullptr;
    }
    // Never blocks on carrier, never becomes our controlling terminal.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    // What was opened is what counts (the entry may have changed since the look).
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || !::isatty(fd)) {
        ::close(fd);
        return nullptr;
    }
    // No sharing: TIOCEXCL turns away later opens (except by root), the lock turns away
    // another prober of this program even when it runs as root.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixSerialPort>(fd, timings);
}
