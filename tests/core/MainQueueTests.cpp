#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "core/MainQueue.h"
#include "queues/ManualMainQueue.h"
#include "support/PostWatchingMainQueue.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;

TEST(MainQueueTests, RunsPostedWorkInOrderAndDelayedWorkWhenDue) {
    ManualMainQueue queue;
    std::vector<int> order;
    queue.postAfter(30ms, [&] { order.push_back(3); });
    queue.post([&] { order.push_back(1); });
    queue.post([&] {
        order.push_back(2);
        queue.post([&] { order.push_back(4); });  // posted while draining still runs in this drain
    });
    EXPECT_EQ(queue.drain(), 3);
    EXPECT_EQ(order, (std::vector{1, 2, 4}));
    EXPECT_TRUE(queue.runUntil([&] { return order.size() == 4; }, 2s));
    EXPECT_EQ(order.back(), 3);
}

TEST(MainQueueTests, WorkerWaitsForItsCallOnTheMainThread) {
    ManualMainQueue queue;
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> returned{false};
    std::jthread worker([&](std::stop_token stop) {
        EXPECT_TRUE(runOnMainAndWait(
            queue, [&] { ranOnMain = queue.isMainThread(); }, stop));
        returned = true;
    });
    EXPECT_TRUE(queue.runUntil([&] { return returned.load(); }, 2s));
    EXPECT_TRUE(ranOnMain);
    // On the main thread itself the work runs at once.
    bool direct = false;
    EXPECT_TRUE(runOnMainAndWait(queue, [&] { direct = true; }, {}));
    EXPECT_TRUE(direct);
}

TEST(MainQueueTests, StoppingTheWorkerEndsTheWaitWithoutTheMainThread) {
    test::PostWatchingMainQueue queue;
    std::atomic<bool> result{true};
    std::jthread worker([&](std::stop_token stop) {
        result = runOnMainAndWait(
            queue, [] {}, stop);
    });
    ASSERT_TRUE(queue.waitForPostCount(1));  // the worker waits from here on
    worker.request_stop();
    worker.join();  // would hang if the wait ignored the stop request
    EXPECT_FALSE(result);
    EXPECT_EQ(queue.drain(), 1);  // the late call still runs safely
}

TEST(MainQueueTests, WorkThatThrowsStillLetsTheWorkerGo) {
    ManualMainQueue queue;
    std::atomic<bool> returned{false};
    std::jthread worker([&](std::stop_token stop) {
        EXPECT_TRUE(runOnMainAndWait(
            queue, [] { throw std::runtime_error("failed on the main thread"); }, stop));
        returned = true;
    });
    EXPECT_THROW(queue.runUntil([&] { return returned.load(); }, 2s), std::runtime_error);
    EXPECT_TRUE(queue.runUntil([&] { return returned.load(); }, 2s));  // without a stop request
}

}  // namespace
}  // namespace nudgerly
