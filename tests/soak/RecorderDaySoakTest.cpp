// The recorder as the headless program runs it, with its archive, through more than a day of
// 5-second samples: a fake clock stepped 5 s per tick and the ticks driven one after another,
// so a day takes seconds. Memory must level off once the 24-hour store is full, and every
// sample must reach the archive.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/acquisition/Recorder.h"
#include "core/archive/ArchiveWriter.h"
#include "support/ArchiveFixture.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/ScriptedMeter.h"
#include "support/SoakScale.h"

using namespace std::chrono_literals;

namespace {

// Counts the meter's samples and lets the test wait for the next one.
class SampleCounter final : public SampleSink {
public:
    void onMeterSample(const MeterSample&) override {
        std::lock_guard lock(m_lock);
        ++m_samples;
        m_arrived.notify_all();
    }
    void onLinkChanged(bool) override {}
    bool waitFor(long count) {
        std::unique_lock lock(m_lock);
        return m_arrived.wait_for(lock, 10s, [&] { return m_samples >= count; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    long m_samples = 0;
};

struct RecorderDaySoak : ArchiveFixture {};

}  // namespace

TEST_F(RecorderDaySoak, MemoryLevelsOffOverMoreThanADayAndEverySampleIsArchived) {
    constexpr long kSamplesPerDay = 24 * 3600 / 5;
    // The sanitizers' own bookkeeping grows with the work done, so their builds run a shorter
    // stretch for the races and the rows, and only the plain build weighs the memory.
    const long total = kSoakSanitized ? kSamplesPerDay / 8 : kSamplesPerDay * 5 / 4;
    const long quarterDay = total / 5;

    clock.keepSleeps = false;
    ScriptedPortOpener ports;
    ScriptedMeter meter{ports, 1};
    Recorder recorder{ports, messages, clock};
    auto archive = writer();
    SampleCounter counter;
    recorder.addSampleSink(archive.get());
    recorder.addSampleSink(&counter);
    recorder.loadConfig(dir.path());
    recorder.start(24h);  // the ticks below are the rhythm
    recorder.openRecording();
    recorder.connect();
    ASSERT_TRUE(eventually([&] {
        return recorder.linkStatus().phase == SamplingCycle::LinkStatus::Phase::Polling;
    }, 10s));

    long residentAtQuarterDay = 0;
    for (long n = 1; n <= total; ++n) {
        meter.setPower(15, static_cast<uint16_t>(n % 4000));
        clock.advance(5s);
        recorder.tickNow();
        ASSERT_TRUE(counter.waitFor(n)) << "sample " << n << " never came";
        if (n == quarterDay) {
            archive->waitIdle();
            residentAtQuarterDay = ownResidentKb();
        }
    }
    archive->waitIdle();
    const long growthKb = ownResidentKb() - residentAtQuarterDay;
    recorder.stop();
    ASSERT_TRUE(recorder.closeRecording());

    EXPECT_EQ(query(path, "SELECT count(*) FROM power"), std::to_string(total) + "\n");
    std::printf("%ld samples; resident memory grew %ld KiB after the first %ld\n", total,
                growthKb, quarterDay);
    if (!kSoakSanitized) {
        EXPECT_LT(growthKb, 4096);
    }
}
