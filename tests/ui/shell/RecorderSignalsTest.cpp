#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <thread>
#include <vector>

#include "support/ShellFixture.h"
#include "ui/shell/RecorderSignals.h"

namespace {

class RecorderSignalsTest : public ShellTest {};

// The recorder calls from its own threads; what the windows receive arrives on the GUI thread,
// in the order it was told, and nothing reaches a receiver that is gone.
TEST_F(RecorderSignalsTest, CallsFromOtherThreadsArriveInOrderAndStopWithTheReceiver) {
    RecorderSignals relay;
    auto* receiver = new QObject;
    std::vector<int> seen;  // 0 tables, 1 sample from the meter, 2 link
    QObject::connect(&relay, &RecorderSignals::tablesChanged, receiver, [&] { seen.push_back(0); });
    QObject::connect(&relay, &RecorderSignals::sampleRecorded, receiver,
                     [&](SampleOrigin origin) { seen.push_back(origin == SampleOrigin::Meter); });
    QObject::connect(&relay, &RecorderSignals::linkChanged, receiver, [&] { seen.push_back(2); });
    std::thread worker([&relay] {
        for (int i = 0; i < 50; ++i) {
            relay.onTablesChanged();
            relay.onSampleRecorded(SampleOrigin::Meter);
        }
        relay.onLinkChanged();
    });
    worker.join();
    EXPECT_TRUE(seen.empty());  // queued, not called on the recorder's thread
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(seen.size(), 101u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i % 2) << i;
    EXPECT_EQ(seen.back(), 2);

    delete receiver;
    std::thread late([&relay] { relay.onSampleRecorded(SampleOrigin::Meter); });
    late.join();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(seen.size(), 101u);
}

}  // namespace
