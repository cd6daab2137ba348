#include "core/acquisition/ListenerRelay.h"

ListenerRelay::~ListenerRelay() { stop(); }

void ListenerRelay::start(RecorderListener* observer) {
    {
        std::lock_guard lock(m_lock);
        if (m_started || m_worker.stopping()) return;  // once per relay
        m_started = true;
        m_observer = observer;
    }
    m_worker.start({.name = "kelvo-observer",
                    .ready = [this] { return !m_calls.empty(); },
                    .step = [this](BackgroundWorker::Lock& lock) { deliver(lock); },
                    .finish = [this](BackgroundWorker::Lock& lock) { deliver(lock); }});
}

void ListenerRelay::stop() {
    {
        std::lock_guard lock(m_lock);
        if (!m_started) return;
    }
    m_worker.stop();
    std::lock_guard lock(m_lock);
    m_observer = nullptr;
    m_calls.clear();
    m_started = false;
}

void ListenerRelay::onSampleRecorded(SampleOrigin origin) { queue({Kind::Sample, origin}); }

void ListenerRelay::onTablesChanged() { queue({Kind::Tables, SampleOrigin::NoLink}); }

void ListenerRelay::onLinkChanged() { queue({Kind::Link, SampleOrigin::NoLink}); }

void ListenerRelay::queue(Call call) {
    {
        std::lock_guard lock(m_lock);
        if (!m_observer || m_worker.stopping()) return;
        if (m_calls.size() == kQueueLength) m_calls.pop_front();
        m_calls.push_back(call);
    }
    m_worker.wake();
}

void ListenerRelay::deliver(BackgroundWorker::Lock& lock) {
    while (!m_calls.empty() && m_observer) {
        const Call call = m_calls.front();
        m_calls.pop_front();
        RecorderListener* observer = m_observer;
        lock.unlock();
        switch (call.kind) {
            case Kind::Sample:
                observer->onSampleRecorded(call.origin);
                break;
            case Kind::Tables:
                observer->onTablesChanged();
                break;
            case Kind::Link:
                observer->onLinkChanged();
                break;
        }
        lock.lock();
    }
}
