#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/device/SerialPort.h"
#include "core/store/ChannelRecord.h"
#include "core/store/EnergyTables.h"

class Clock;
class MessageSink;

// The only connection to the metering device. Whole exchanges are serialised on one lock,
// so a channel switch from the window never interleaves its frames with a poll.
// Decoding writes into the targets the caller passes; callers pass copies and commit them
// under their own lock, so no table is written while the line is busy.
class SerialLink {
public:
    SerialLink(SerialPorts& ports, MessageSink& messages, Clock& clock);
    ~SerialLink();

    // True when a device answered the probe on some port. `skipPort`: a port just probed
    // without an answer, left out.
    bool openDevice(int skipPort = 0);
    // Probes only the port the device last answered on (none yet: false). True when the link
    // is open afterwards.
    bool reopenLastPort();
    // The port the device last answered on, 0 before any; kept after the link closes.
    int lastPort() const { return m_lastPort.load(); }
    // Whether that port is still on the machine.
    bool lastPortPresent() const;
    // False when the link was not open or the port failed to close. Never waits for the line:
    // during an exchange on another thread the link reads as closed at once, that exchange's
    // wait for the line is cut short and the port is closed as it ends, so Disconnect never
    // freezes the window.
    bool closeLink();
    // Makes a running or later openDevice stop before its next port (program exit); cleared
    // by allowProbe().
    void cancelProbe() { m_probeCancelled.store(true); }
    void allowProbe() { m_probeCancelled.store(false); }
    bool isOpen() const { return m_open.load(); }
    int failureCount() const { return m_failures.load(); }
    // Another program holding a port the last probe could not open (kelvo-recorder before
    // any other): why no device answered. Nothing once the device has answered.
    std::optional<LockHolder> heldBy() const;

    // History command 1 (consumption) or 14 (solar) into a day and a month series.
    void readHistory(int32_t (&day)[kDays], int32_t (&month)[kMonths], uint8_t command);
    // Live command: number, power and state of records 1..15.
    void readLive(ChannelTable& table);
    // "05,112," style request text; true when every entry was acknowledged. A failure is shown
    // in the message box.
    bool switchChannels(const std::string& request);
    // The same, with the failure's text handed back instead of shown (remote switching).
    bool switchChannels(const std::string& request, std::string& failure);

    // Where the raw history reply is dumped ("History.dat" in the working directory).
    void setHistoryDumpPath(std::string path);

    // A link whose failure counter stands here closes on the next unanswered poll. A reply
    // cut off at its bound (a line that never fell quiet) counts as unanswered.
    static constexpr int kFailureLimit = 13;

private:
    // Holds the exchange lock for one whole exchange and carries out a close that was asked
    // for while the line was busy.
    class Exchange {
    public:
        explicit Exchange(SerialLink& link);
        ~Exchange();

    private:
        SerialLink& m_link;
        std::lock_guard<std::mutex> m_lock;
    };

    bool closeLocked();
    // Opens port n and sends the probe: the port when a device answered, else nullptr. A
    // port another program holds is noted in `held`.
    std::unique_ptr<SerialPort> probePort(int n, std::optional<LockHolder>& held);
    // Notes the holder of port n in `held`, unless a kelvo-recorder is noted already.
    void noteHolder(int n, std::optional<LockHolder>& held) const;
    void setHeldBy(std::optional<LockHolder> held);
    void adopt(std::unique_ptr<SerialPort> port, int n);
    bool writeFrame(uint8_t command, uint8_t argument);
    // Failure-counter rule after a polling exchange.
    void countExchange(bool replied);
    void dumpHistory(std::span<const uint8_t> reply) const;

    SerialPorts& m_ports;
    MessageSink& m_messages;
    Clock& m_clock;
    std::mutex m_exchange;  // held for one whole exchange
    std::unique_ptr<SerialPort> m_port;
    // Held while m_port changes and while closeLink() cancels it from another thread; the
    // exchange's own thread reads m_port under m_exchange alone.
    std::mutex m_portLock;
    std::atomic<bool> m_open{false};
    std::atomic<int> m_failures{0};
    std::atomic<bool> m_closeRequested{false};  // closeLink came during an exchange
    std::atomic<bool> m_probeCancelled{false};
    std::atomic<int> m_lastPort{0};
    mutable std::mutex m_heldLock;  // guards m_heldBy, held for copies only
    std::optional<LockHolder> m_heldBy;
    std::string m_historyDumpPath = "History.dat";
};
