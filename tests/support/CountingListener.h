#pragma once

#include <atomic>

#include "core/acquisition/RecorderListener.h"

// The recorder's observer as a test sees it: counts each kind of call (from any thread).
struct CountingListener final : RecorderListener {
    void onSampleRecorded(SampleOrigin origin) override {
        ++(origin == SampleOrigin::NoLink ? quiet : stored);
    }
    void onTablesChanged() override { ++updated; }
    void onLinkChanged() override { ++linkChanges; }

    std::atomic<int> stored{0};  // samples that change what the live list shows
    std::atomic<int> quiet{0};   // ticks recorded without a link
    std::atomic<int> updated{0};
    std::atomic<int> linkChanges{0};
};
