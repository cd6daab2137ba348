#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct RecorderState;

// Gets a lost link back without a click, on a thread of its own. After the link closed for
// any reason but the user's Disconnect, and after a Connect that found nothing, it tries the
// port the device last answered on, waiting 5 s, 10 s, 20 s, 40 s, then 60 s between
// attempts. When that port has gone from the machine (an adapter back under another name) or
// does not answer (another device took its number) it probes every port too, at most once a
// minute.
class ReconnectLoop {
public:
    struct Timings {
        std::vector<std::chrono::milliseconds> waits{
            std::chrono::seconds(5), std::chrono::seconds(10), std::chrono::seconds(20),
            std::chrono::seconds(40), std::chrono::seconds(60)};  // last repeats
        std::chrono::milliseconds fullProbeSpacing = std::chrono::seconds(60);
    };

    // attempt(fullProbe): one try at opening the link that resumes polling on success; true
    // when the link is back. A full probe follows a failed try of the last port, so it may
    // leave that port out. Runs on the loop's thread.
    ReconnectLoop(RecorderState& state, std::function<bool(bool fullProbe)> attempt);
    ~ReconnectLoop();  // stop()

    void start();
    void stop();  // wakes and joins the thread; an attempt under way ends first

    void setEnabled(bool on) { setFlag(m_enabled, on); }  // "Reconnect Automatically"
    bool enabled() const;
    void setTimings(Timings timings);  // tests make the waits short

    // Connect has finished (found or not) or the link has just been lost: attempts may run.
    void arm() { setFlag(m_armed, true); }
    // The link may have closed (nothing else changes): looks again whether attempts are due.
    void poke() { m_wake.notify_all(); }
    // The user's Disconnect: no attempt until the next arm().
    void disarm() { setFlag(m_armed, false); }
    // Unix seconds of the next planned attempt; 0 when none is planned.
    int64_t nextAttempt() const { return m_nextAttempt.load(); }

private:
    void run();
    // Sets one of the flags below under the lock and wakes the thread to look again.
    void setFlag(bool& flag, bool on);
    bool wanted() const;  // m_lock held
    // Waits out one step of the schedule; false when attempts are no longer wanted.
    bool waitBeforeAttempt(std::unique_lock<std::mutex>& lock, size_t step);
    // Sets the time of the next attempt (0: none) and tells the recorder's listener.
    void planAttempt(std::unique_lock<std::mutex>& lock, int64_t when);

    RecorderState& m_state;
    std::function<bool(bool)> m_attempt;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    Timings m_timings;
    bool m_enabled = true;
    bool m_armed = false;
    bool m_stop = false;
    std::optional<std::chrono::steady_clock::time_point> m_lastFullProbe;
    std::atomic<int64_t> m_nextAttempt{0};
    std::thread m_thread;
};
