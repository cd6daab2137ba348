#include "tools/meter-sim/MeterSimulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "tools/meter-sim/ReplyComposer.h"

namespace metersim {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A frame whose bytes are this far apart is not one frame: the meter forgets the part.
constexpr milliseconds kFrameGap{100};
// Babble with no pace set still goes out at a bounded rate.
constexpr int kUnpacedBabbleBaud = 1000000;

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

}  // namespace

MeterSimulator::MeterSimulator(const SimulatorOptions& options, PtyDevice& device, std::FILE* log)
    : m_options(options),
      m_device(device),
      m_log(log),
      m_household(options.seed),
      m_faults(options.faults, options.seed ^ 0xFA17u),
      m_launched(steady_clock::now()) {
    m_switches.fill(true);
    m_lineFreeAt = m_launched;
}

int64_t MeterSimulator::localSeconds() const {
    time_t utc = std::time(nullptr);
    if (m_options.startTime) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::seconds>(steady_clock::now() - m_launched);
        utc = static_cast<time_t>(*m_options.startTime + elapsed.count());
    }
    tm local{};
    localtime_r(&utc, &local);
    return static_cast<int64_t>(utc) + local.tm_gmtoff;
}

std::vector<uint8_t> MeterSimulator::answer(const CommandFrame& frame, std::string& what) {
    switch (frame.command) {
        case kProbeCommand:
            what = "probe";
            return composeProbeReply();
        case kConsumptionHistoryCommand:
            what = "consumption history";
            return composeHistoryReply(false, m_household.consumptionHistory(localSeconds()));
        case kSolarHistoryCommand:
            what = "solar history";
            return composeHistoryReply(true, m_household.solarHistory(localSeconds()));
        case kLiveCommand:
            what = "live";
            return composeLiveReply(m_household.live(localSeconds(), m_switches));
        case kSwitchOnCommand:
        case kSwitchOffCommand: {
            const bool on = frame.command == kSwitchOnCommand;
            what = std::string("switch ") + std::to_string(frame.argument) + (on ? " on" : " off");
            // Only the twelve load channels have relays; anything else is refused, so the
            // program can tell the user instead of believing the switch happened.
            if (frame.argument < 1 || frame.argument > kLoadChannels) {
                what += " (no such channel)";
                return {kSwitchNak};
            }
            m_switches[frame.argument - 1] = on;
            return {kSwitchAck};
        }
        default:
            what = "unknown command " + std::to_string(frame.command);
            return {};
    }
}

void MeterSimulator::onCommand(const CommandFrame& frame, TimePoint now) {
    std::string what;
    std::vector<uint8_t> reply = answer(frame, what);
    const bool isSwitch = frame.command == kSwitchOnCommand || frame.command == kSwitchOffCommand;
    const bool wasBabbling = m_faults.babbling();
    ReplyShape shape = m_faults.shape(std::move(reply), isSwitch);
    if (m_faults.babbling() && !wasBabbling) {
        m_queue.clear();
        m_babbleStarted = now;
        m_babbleSent = 0;
    }
    std::string line = "rx AA " + hex({frame.command, frame.argument}) + " AD " + what + ": ";
    line += shape.bytes.empty() ? std::string("nothing sent")
                                : std::to_string(shape.bytes.size()) + " bytes";
    if (!shape.note.empty()) line += " (" + shape.note + ")";
    // The bytes themselves, so a run can be checked against what the link accepted.
    if (!shape.bytes.empty()) line += " tx " + hex(shape.bytes);
    logLine(line);
    if (shape.bytes.empty()) return;
    Outgoing out;
    out.bytes = std::move(shape.bytes);
    out.readyAt = now + milliseconds(shape.delayMs);
    out.byteGapMs = shape.byteGapMs;
    m_queue.push_back(std::move(out));
}

void MeterSimulator::onPortEvents() {
    const PtyDevice::PortEvents events = m_device.takePortEvents();
    if (events.opened == 0 && events.closed == 0) return;
    // Whoever uses the port now must not get what was meant for the one before, and a
    // reply still on its way has nobody to go to.
    m_queue.clear();
    m_scanner.reset();
    m_faults.forgetHeld();
    if (events.opened > 0) m_device.discardUnread();
    if (events.lastWasClose) m_device.releaseExclusive();
    logLine("port " + std::string(events.opened ? "opened" : "closed"));
}

std::chrono::nanoseconds MeterSimulator::byteInterval(int extraGapMs) const {
    // 8N1: a start bit, eight data bits and a stop bit per byte.
    const std::chrono::nanoseconds line{m_options.baud > 0 ? 10'000'000'000LL / m_options.baud : 0};
    return line + milliseconds(extraGapMs);
}

void MeterSimulator::pump(TimePoint now) {
    if (m_faults.babbling()) {
        const int baud = m_options.baud > 0 ? m_options.baud : kUnpacedBabbleBaud;
        const auto elapsed = now - m_babbleStarted;
        const uint64_t due = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * baud /
            10'000'000);
        uint8_t chunk[256];
        while (m_babbleSent < due) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(due - m_babbleSent, 256));
            for (size_t i = 0; i < n; ++i) chunk[i] = m_faults.babbleByte();
            m_device.transmit(chunk, n);  // whatever does not fit is lost, like on a line
            m_babbleSent += n;
        }
        return;
    }
    while (!m_queue.empty()) {
        Outgoing& out = m_queue.front();
        if (!out.started) {
            if (now < out.readyAt) return;
            out.startedAt = std::max(out.readyAt, m_lineFreeAt);
            out.nextByteAt = out.startedAt;
            out.started = true;
        }
        const auto interval = byteInterval(out.byteGapMs);
        size_t due = out.bytes.size();
        if (out.byteGapMs > 0) {
            // One byte at a time, each a full gap after the one before.
            if (now < out.nextByteAt) return;
            due = out.sent + 1;
            out.nextByteAt = now + interval;
        } else if (interval.count() > 0) {
            // At the line's pace: a late wake-up catches up, as a UART's FIFO would.
            if (now < out.startedAt) return;
            due = std::min(due, static_cast<size_t>((now - out.startedAt) / interval) + 1);
        }
        if (due > out.sent) {
            // Bytes the terminal cannot take are lost, as they would be on a line nobody reads.
            m_device.transmit(out.bytes.data() + out.sent, due - out.sent);
            out.sent = due;
        }
        if (out.sent < out.bytes.size()) return;
        m_lineFreeAt = std::max(now, out.startedAt + interval * static_cast<long>(out.sent));
        m_queue.pop_front();
    }
}

int MeterSimulator::millisecondsToNextByte(TimePoint now) const {
    if (m_faults.babbling()) return 2;
    if (m_queue.empty()) return -1;
    const Outgoing& out = m_queue.front();
    TimePoint next = out.readyAt;
    if (out.started && out.byteGapMs > 0)
        next = out.nextByteAt;
    else if (out.started)
        next = out.startedAt + byteInterval(out.byteGapMs) * static_cast<long>(out.sent);
    if (next <= now) return 0;
    const auto wait = std::chrono::duration_cast<milliseconds>(next - now).count();
    return static_cast<int>(std::clamp<long long>(wait, 1, 1000));
}

void MeterSimulator::logLine(const std::string& text) {
    if (!m_log) return;
    const auto ms =
        std::chrono::duration_cast<milliseconds>(steady_clock::now() - m_launched).count();
    std::fprintf(m_log, "%lld.%03lld %s\n", static_cast<long long>(ms / 1000),
                 static_cast<long long>(ms % 1000), text.c_str());
    std::fflush(m_log);
}

void MeterSimulator::run(int stopFd) {
    std::vector<CommandFrame> frames;
    uint8_t buffer[512];
    for (;;) {
        pump(steady_clock::now());
        pollfd fds[3] = {
            {stopFd, POLLIN, 0}, {m_device.masterFd(), POLLIN, 0}, {m_device.watchFd(), POLLIN, 0}};
        const nfds_t count = m_device.watchFd() >= 0 ? 3 : 2;
        const int ready = ::poll(fds, count, millisecondsToNextByte(steady_clock::now()));
        if (ready < 0) continue;  // EINTR; the stop descriptor says whether to stop
        if (fds[0].revents) return;
        // Port events first: an open that came before these bytes must not discard them.
        if (count == 3 && fds[2].revents) onPortEvents();
        if (!fds[1].revents) continue;
        const auto now = steady_clock::now();
        const long n = m_device.receive(buffer, sizeof buffer);
        if (n <= 0) {
            if (fds[1].revents & (POLLHUP | POLLERR)) ::usleep(1000);  // no busy loop
            continue;
        }
        if (m_scanner.partial() && now - m_lastReceived > kFrameGap) m_scanner.reset();
        m_lastReceived = now;
        frames.clear();
        const size_t skipped = m_scanner.feed(buffer, static_cast<size_t>(n), frames);
        if (skipped > 0) logLine("rx " + std::to_string(skipped) + " stray bytes skipped");
        for (const CommandFrame& frame : frames) onCommand(frame, now);
    }
}

}  // namespace metersim
