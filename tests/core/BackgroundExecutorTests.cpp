#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "core/BackgroundExecutor.h"
#include "queues/ManualBackgroundExecutor.h"
#include "support/ThreadWatch.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;

// A latch a job can wait on without ignoring its stop token.
struct Gate {
    std::mutex mutex;
    std::condition_variable_any changed;
    bool open = false;

    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    // True when opened, false when stopped first.
    bool wait(std::stop_token stop) {
        std::unique_lock lock(mutex);
        return changed.wait(lock, stop, [&] { return open; });
    }
};

// An owner whose worker keeps writing into memory the owner holds until it is asked to stop. Were the
// worker to outlive the owner, the sanitizer would see it write into freed memory.
class Owner {
public:
    Owner() {
        executor_.submit("scribble", [this](std::stop_token stop) {
            started_.release();
            while (!stop.stop_requested()) {
                for (int& cell : *cells_) {
                    ++cell;
                }
                std::this_thread::yield();
            }
            (*cells_)[0] = -1;  // the last touch, after the stop request
        });
        started_.wait({});
    }

private:
    std::unique_ptr<std::vector<int>> cells_ = std::make_unique<std::vector<int>>(64);
    Gate started_;
    ThreadPoolExecutor executor_;  // declared last: stopped and joined before the cells go
};

TEST(BackgroundExecutorTests, NoWorkerOutlivesItsOwner) {
    for (int round = 0; round < 20; ++round) {
        const auto owner = std::make_unique<Owner>();
    }
}

TEST(BackgroundExecutorTests, EachJobHasItsOwnStopAndALongJobDoesNotHoldUpAShortOne) {
    ThreadPoolExecutor executor;
    Gate never;
    std::atomic<bool> longEnded{false};
    std::stop_source longJob = executor.submit("long", [&](std::stop_token stop) {
        EXPECT_FALSE(never.wait(stop));
        longEnded = true;
    });
    Gate shortRan;
    executor.submit("short", [&](std::stop_token) { shortRan.release(); });
    EXPECT_TRUE(shortRan.wait({}));
    EXPECT_FALSE(longEnded);

    longJob.request_stop();
    EXPECT_TRUE(executor.stop(2s));
    EXPECT_TRUE(longEnded);
}

TEST(BackgroundExecutorTests, StopDropsQueuedJobsRefusesNewOnesAndSurvivesAJobThatThrows) {
    ThreadPoolExecutor executor;
    Gate thrown;
    executor.submit("throws", [&](std::stop_token) {
        thrown.release();
        throw std::runtime_error("expected by the test");
    });
    ASSERT_TRUE(thrown.wait({}));
    Gate ran;
    executor.submit("after the throw", [&](std::stop_token) { ran.release(); });
    EXPECT_TRUE(ran.wait({}));  // the worker went on

    EXPECT_TRUE(executor.stop(1s));
    bool late = false;
    const std::stop_source refused = executor.submit("late", [&](std::stop_token) { late = true; });
    EXPECT_TRUE(refused.stop_requested());
    EXPECT_FALSE(late);
}

TEST(BackgroundExecutorTests, AJobThatOverrunsTheBoundIsStillWaitedFor) {
    std::atomic<bool> ended{false};
    Gate overrunOver;
    // The job ends only once the executor's end is waiting for it.
    test::ThreadWatch destroying;
    std::jthread releaser([&] {
        destroying.waitUntilBlocked();
        overrunOver.release();
    });
    {
        ThreadPoolExecutor executor;
        Gate started;
        executor.submit("slow to stop", [&](std::stop_token stop) {
            started.release();
            Gate().wait(stop);  // until the stop request
            overrunOver.wait({});
            ended = true;
        });
        ASSERT_TRUE(started.wait({}));
        EXPECT_FALSE(executor.stop(10ms));
        destroying.arrive();
    }
    EXPECT_TRUE(ended);
}

TEST(BackgroundExecutorTests, ManualExecutorRunsJobsOnlyWhenAsked) {
    ManualBackgroundExecutor executor;
    std::vector<std::string> order;
    executor.submit("first", [&](std::stop_token) {
        order.push_back("first");
        executor.submit("nested", [&](std::stop_token) { order.push_back("nested"); });
    });
    const std::stop_source second = executor.submit(
        "second", [&](std::stop_token stop) { order.push_back(stop.stop_requested() ? "stopped" : "second"); });
    EXPECT_EQ(executor.pendingLabels(), (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(order.empty());

    EXPECT_TRUE(executor.runNext());
    second.request_stop();
    EXPECT_EQ(executor.runAll(), 2u);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "stopped", "nested"}));

    bool dropped = false;
    executor.submit("dropped", [&](std::stop_token) { dropped = true; });
    EXPECT_TRUE(executor.stop());
    EXPECT_EQ(executor.pending(), 0u);
    EXPECT_TRUE(executor.submit("refused", [](std::stop_token) {}).stop_requested());
    EXPECT_FALSE(executor.runNext());
    EXPECT_FALSE(dropped);
}

}  // namespace
}  // namespace nudgerly
