#pragma once

#include <deque>
#include <mutex>

#include "core/acquisition/RecorderListener.h"
#include "core/base/BackgroundWorker.h"

// Hands the recorder's calls to its observer on a thread of their own, in order, so that an
// observer that is slow (a window, a log on a full pipe) never holds up a tick. While the
// observer is busy the calls wait in a short queue; past its length the oldest give way, as
// each call only says that something is new and the observer reads the state afresh.
class ListenerRelay final : public RecorderListener {
public:
    ListenerRelay() = default;
    ~ListenerRelay() override;  // delivers what is queued, then joins

    // Before the first call; `observer` may be null (calls are dropped).
    void start(RecorderListener* observer);
    // Delivers what is queued and joins the thread; later calls are dropped.
    void stop();

    void onSampleRecorded(SampleOrigin origin) override;
    void onTablesChanged() override;
    void onLinkChanged() override;

    static constexpr size_t kQueueLength = 64;

private:
    enum class Kind { Sample, Tables, Link };
    struct Call {
        Kind kind;
        SampleOrigin origin;
    };
    void queue(Call call);
    void deliver(BackgroundWorker::Lock& lock);

    std::mutex m_lock;
    std::deque<Call> m_calls;
    RecorderListener* m_observer = nullptr;
    bool m_started = false;
    BackgroundWorker m_worker{m_lock};
};
