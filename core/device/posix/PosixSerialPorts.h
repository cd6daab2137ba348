#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "core/device/SerialPort.h"
#include "core/device/posix/PosixSerialPort.h"

// Finds COM port n on a POSIX machine. An entry "Com<n>" in the application directory (a
// symbolic link to a terminal) pins the port: that is how a user chooses a device and how
// the meter simulator attaches. Otherwise port n is the n-th serial device of the machine,
// counting /dev/ttyUSB*, then /dev/ttyACM*, then /dev/ttyS*, each in numeric order.
//
// The probe writes to what it opens, so only a character device that is a terminal is
// opened for use; anything else is closed unwritten and the port counts as missing. A port
// in use is held exclusively until it is closed, and a port held by another program is not
// shared.
class PosixSerialPorts final : public SerialPorts {
public:
    explicit PosixSerialPorts(std::filesystem::path appDir, SerialTimings timings = {},
                              std::filesystem::path deviceDir = "/dev");

    std::unique_ptr<SerialPort> open(int portNumber) override;
    // Port n resolves to a character device (a "Com<n>" link whose terminal is gone does not).
    bool present(int portNumber) const override;
    // From the kernel's list of locks, on the device port n resolves to.
    std::optional<LockHolder> holder(int portNumber) const override;

    // The path port n resolves to, if any.
    std::optional<std::filesystem::path> resolve(int portNumber) const;
    // The machine's serial devices in port order.
    std::vector<std::filesystem::path> serialDevices() const;

    // Opens `path` as a serial port under the rules above; nullptr when it is not a free
    // terminal.
    static std::unique_ptr<PosixSerialPort> openTerminal(const std::filesystem::path& path,
                                                         SerialTimings timings = {});

private:
    std::filesystem::path m_appDir;
    SerialTimings m_timings;
    std::filesystem::path m_deviceDir;
};
