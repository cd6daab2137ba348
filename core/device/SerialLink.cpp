#include "core/device/SerialLink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "core/base/Clock.h"
#include "core/base/MessageSink.h"
#include "core/device/Protocol.h"
#include "core/device/ReplyBuffer.h"

namespace {

constexpr int kHighestPort = 99;
constexpr int kSwitchAttempts = 3;
// The device needs a moment after a history request, between switch attempts, and to
// settle after switching a relay.
constexpr std::chrono::milliseconds kHistoryWait{20};
constexpr std::chrono::milliseconds kRetryWait{10};
constexpr std::chrono::milliseconds kSwitchSettle{500};

}  // namespace

SerialLink::SerialLink(SerialPorts& ports, MessageSink& messages, Clock& clock)
    : m_ports(ports), m_messages(messages), m_clock(clock) {}

SerialLink::~SerialLink() { closeLink(); }

SerialLink::Exchange::Exchange(SerialLink& link) : m_link(link), m_lock(link.m_exchange) {
    if (m_link.m_closeRequested.load()) m_link.closeLocked();
}

SerialLink::Exchange::~Exchange() {
    if (m_link.m_closeRequested.load()) m_link.closeLocked();
}

bool SerialLink::openDevice(int skipPort) {
    Exchange exchange(*this);
    if (m_open.load()) {
        return true;  // Connect only probes a closed link; never leak the held port
    }
    std::optional<LockHolder> held;
    for (int n = 1; n <= kHighestPort && !m_probeCancelled.load(); ++n) {
        if (n == skipPort) {
            noteHolder(n, held);  // just tried; a holder found then still holds it
            continue;
        }
        if (std::unique_ptr<SerialPort> port = probePort(n, held)) {
            adopt(std::move(port), n);
            return true;
        }
    }
    m_failures.store(0);
    setHeldBy(std::move(held));
    return false;
}

bool SerialLink::reopenLastPort() {
    Exchange exchange(*this);
    if (m_open.load()) {
        return true;
    }
    const int n = m_lastPort.load();
    if (n < 1 || m_probeCancelled.load()) {
        return false;
    }
    std::optional<LockHolder> held;
    std::unique_ptr<SerialPort> port = probePort(n, held);
    if (!port) {
        setHeldBy(std::move(held));
        return false;
    }
    adopt(std::move(port), n);
    return true;
}

bool SerialLink::lastPortPresent() const {
    const int n = m_lastPort.load();
    return n >= 1 && m_ports.present(n);
}

std::optional<LockHolder> SerialLink::heldBy() const {
    std::lock_guard lock(m_heldLock);
    return m_heldBy;
}

void SerialLink::setHeldBy(std::optional<LockHolder> held) {
    std::lock_guard lock(m_heldLock);
    m_heldBy = std::move(held);
}

void SerialLink::noteHolder(int n, std::optional<LockHolder>& held) const {
    if (held && held->program == kRecorderProgram) return;
    if (std::optional<LockHolder> holder = m_ports.holder(n)) held = std::move(holder);
}

std::unique_ptr<SerialPort> SerialLink::probePort(int n, std::optional<LockHolder>& held) {
    std::unique_ptr<SerialPort> port = m_ports.open(n);
    if (!port) {
        noteHolder(n, held);
        return nullptr;
    }
    if (!port->configure() || port->takeLineErrors()) {
        port->close();
        return nullptr;
    }
    const auto probe = protocol::buildFrame(protocol::kProbe);
    port->write(probe.data(), probe.size());  // a failed write shows as no answer
    ReplyBuffer reply;
    reply.collect(*port);
    if (reply.arrived() && protocol::isProbeAnswer(reply.bytes())) {
        return port;
    }
    port->close();
    return nullptr;
}

void SerialLink::adopt(std::unique_ptr<SerialPort> port, int n) {
    {
        std::lock_guard portLock(m_portLock);
        m_port = std::move(port);
    }
    m_lastPort.store(n);
    m_failures.store(0);
    setHeldBy(std::nullopt);
    m_open.store(true);
}

bool SerialLink::closeLink() {
    std::unique_lock lock(m_exchange, std::try_to_lock);
    if (lock.owns_lock()) {
        return closeLocked();
    }
    // An exchange holds the line: the link reads as closed from now on, the exchange's wait
    // for the line ends at once and the exchange closes the port as it ends.
    if (!m_open.exchange(false)) {
        return false;
    }
    m_failures.store(0);
    m_closeRequested.store(true);
    std::lock_guard portLock(m_portLock);
    if (m_port) m_port->cancel();
    return true;
}

bool SerialLink::closeLocked() {
    const bool wasOpen = m_open.exchange(false);
    const bool requested = m_closeRequested.exchange(false);
    if (!wasOpen && !requested) {
        return false;
    }
    const bool result = m_port && m_port->close();
    std::lock_guard portLock(m_portLock);
    m_port.reset();
    m_failures.store(0);
    return result;
}

bool SerialLink::writeFrame(uint8_t command, uint8_t argument) {
    if (!m_port) {
        return false;
    }
    const auto frame = protocol::buildFrame(command, argument);
    return m_port->write(frame.data(), frame.size()) == static_cast<long>(frame.size());
}

void SerialLink::countExchange(bool replied) {
    if (replied) {
        m_failures.store(0);
    } else if (m_failures.load() < kFailureLimit) {
        m_failures.fetch_add(1);
    } else {
        closeLocked();
    }
}

void SerialLink::readHistory(int32_t (&day)[kDays], int32_t (&month)[kMonths], uint8_t command) {
    Exchange exchange(*this);
    if (!m_open.load()) {
        return;
    }
    m_port->purge();
    if (!writeFrame(command, 0)) {
        closeLocked();
        return;
    }
    m_clock.sleepFor(kHistoryWait);
    ReplyBuffer reply;
    reply.collect(*m_port);
    if (reply.arrived()) {
        dumpHistory(reply.bytes());
        if (protocol::checksumPasses(reply.bytes())) {
            protocol::decodeHistory(reply.bytes(), command, day, month);
        }
    }
    countExchange(reply.arrived());
}

void SerialLink::readLive(ChannelTable& table) {
    Exchange exchange(*this);
    if (!m_open.load()) {
        return;
    }
    m_port->purge();
    if (!writeFrame(protocol::kLive, 0)) {
        closeLocked();
        return;
    }
    ReplyBuffer reply;
    reply.collect(*m_port);
    // Only a reply of the live layout's length is decoded. A solar history reply that came
    // too late for its own exchange is a whole, checksum-correct reply beginning with 'S'
    // ("SOLDAY"), and would otherwise be stored as live record 1; a late reply joined to
    // this one is longer than the layout.
    if (reply.arrived() && reply.bytes().size() == protocol::kLiveReplySize &&
        protocol::checksumPasses(reply.bytes())) {
        protocol::decodeLive(reply.bytes(), table);
    }
    countExchange(reply.arrived());
}

bool SerialLink::switchChannels(const std::string& request) {
    // The message box waits for the user: shown only after the line is free again.
    std::string failure;
    if (switchChannels(request, failure)) return true;
    m_messages.show(failure);
    return false;
}

bool SerialLink::switchChannels(const std::string& request, std::string& failureText) {
    std::optional<std::string> failure;
    {
        Exchange exchange(*this);
        for (const protocol::SwitchEntry& entry : protocol::parseSwitchRequest(request)) {
            ReplyBuffer reply;
            for (int attempt = 1; attempt <= kSwitchAttempts; ++attempt) {
                if (m_port) {
                    m_port->purge();
                }
                if (!writeFrame(entry.command, entry.channel)) {
                    failure = "Fail to write channel switch command!";
                    break;
                }
                reply.collect(*m_port);
                if (reply.arrived()) {
                    break;
                }
                if (attempt < kSwitchAttempts) {
                    m_clock.sleepFor(kRetryWait);
                } else {
                    failure = "Fail to receive data after writiing command!";
                }
            }
            if (failure) {
                break;
            }
            if (reply.bytes()[0] != protocol::kSwitchAck) {
                failure = "Received wrong data after writting command!";
                break;
            }
            m_clock.sleepFor(kSwitchSettle);
        }
    }
    if (failure) {
        failureText = *failure;
        return false;
    }
    return true;
}

void SerialLink::setHistoryDumpPath(std::string path) {
    std::lock_guard lock(m_exchange);
    m_historyDumpPath = std::move(path);
}

void SerialLink::dumpHistory(std::span<const uint8_t> reply) const {
    // Raw bytes, no line-end translation. A symbolic link, FIFO or device planted under the
    // name is never written through: the dump is skipped instead.
    const int fd = ::open(m_historyDumpPath.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        size_t done = 0;
        while (done < reply.size()) {
            const ssize_t wrote = ::write(fd, reply.data() + done, reply.size() - done);
            if (wrote < 0 && errno == EINTR) {
                continue;
            }
            if (wrote <= 0) {
                break;
            }
            done += static_cast<size_t>(wrote);
        }
    }
    ::close(fd);
}
