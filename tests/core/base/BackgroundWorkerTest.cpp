#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/base/BackgroundWorker.h"
#include "support/Eventually.h"

using namespace std::chrono_literals;

namespace {

// Work whose steps take what was asked for so far, then wait at a gate the test opens (the
// lock let go meanwhile, as a step working on a file or the network does).
struct GatedWork {
    std::mutex lock;
    std::condition_variable gateMoved;
    int asked = 0;
    int taken = 0;  // by the step under way
    int done = 0;
    bool gateOpen = false;
    bool inside = false;
    bool finished = false;
    BackgroundWorker worker{lock};

    GatedWork() {
        worker.start({
            .ready = [this] { return asked > done; },
            .step =
                [this](BackgroundWorker::Lock& held) {
                    taken = asked;
                    inside = true;
                    gateMoved.wait(held, [this] { return gateOpen; });
                    inside = false;
                    done = taken;
                },
            .finish = [this](BackgroundWorker::Lock&) { finished = true; },
        });
    }
    template <typename F>
    auto with(F read) {
        std::lock_guard guard(lock);
        return read();
    }
    void ask() {
        with([this] { return ++asked; });
        worker.wake();
    }
    void setGate(bool open) {
        with([&] { return gateOpen = open; });
        gateMoved.notify_all();
    }
};

}  // namespace

TEST(BackgroundWorker, WakesNeverGetLostAndAStopEndsAfterTheStepUnderWayOrItsLimit) {
    GatedWork work;
    work.ask();  // from sleep
    ASSERT_TRUE(eventually([&] { return work.with([&] { return work.inside; }); }));
    work.ask();  // while the step runs: taken by a next one without another wake
    work.setGate(true);
    ASSERT_TRUE(eventually([&] { return work.with([&] { return work.done == 2; }); }));

    // A stop while a step runs lets that step end, starts no other one though work is ready,
    // runs the last step and joins.
    work.setGate(false);
    work.ask();
    ASSERT_TRUE(eventually([&] { return work.with([&] { return work.inside; }); }));
    work.ask();
    std::thread opener([&] {
        std::this_thread::sleep_for(100ms);
        work.setGate(true);
    });
    EXPECT_TRUE(work.worker.stop(15s));
    opener.join();
    EXPECT_TRUE(work.with([&] { return work.done == 3 && work.finished; }));

    // A step that does not end is left behind after the limit; it still ends cleanly later.
    static GatedWork* const stuck = new GatedWork;  // outlives the thread left running
    stuck->ask();
    ASSERT_TRUE(eventually([&] { return stuck->with([&] { return stuck->inside; }); }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(stuck->worker.stop(200ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    stuck->setGate(true);
    EXPECT_TRUE(eventually([&] { return stuck->with([&] { return stuck->finished; }); }));
}
