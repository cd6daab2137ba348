#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "core/acquisition/SampleSink.h"
#include "core/archive/ArchiveSettings.h"

class Clock;
class MessageSink;

// Appends every sample recorded from the meter to the archive, on a thread of its own: the
// tick only queues. A database that cannot be written (locked, corrupt, full or read-only
// disk) is reported once through the message sink (file and reason), then only in
// statusText(); the writer keeps the queued samples and retries later. The message sink is
// called from a second thread, so a box left open never holds up the retries. The queue lock
// is never held across file work (a WAL checkpoint may wait on the disk). What cannot be
// written by the exit goes to a pending file beside the archive, written into it at the next
// open; an archive deleted or moved away is noticed, started again at its path and said once.
// Another user's file that this user may only read (an archive opened to be viewed) gets
// no box, only its status.
class ArchiveWriter final : public SampleSink {
public:
    ArchiveWriter(MessageSink& messages, Clock& clock);
    // One last try with what is queued, the rest to the pending file; then joins its threads
    // (a box still open is closed by the sink's own shut-down).
    ~ArchiveWriter() override;

    // Applies settings (file relative to workingDirectory) and opens the archive at once,
    // merging a pending file; may be called again at any time.
    void configure(const ArchiveSettings& settings, const std::string& workingDirectory);

    void onMeterSample(const MeterSample& sample) override;
    void onLinkChanged(bool) override {}

    // Empty while all is well; otherwise one line for the status bar naming the problem.
    std::string statusText() const;
    // Waits until every sample queued so far has been written, or writing has failed (tests).
    void waitIdle();
    // How long a failed archive waits before the next try (30 s; tests make it short).
    void setRetryDelay(std::chrono::milliseconds delay);

    // Samples held in memory at most while the archive cannot be written: one day. Older
    // ones give way to newer ones.
    static constexpr size_t kQueueLimit = 17280;

private:
    struct SampleQueue;
    std::unique_ptr<SampleQueue> m_queue;
};
