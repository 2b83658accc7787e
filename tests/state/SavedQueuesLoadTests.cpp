#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RefreshTestSupport.h"

namespace nudgerly {
namespace {

using test::AppStateHarness;

// The saved queues are read by two jobs while the window shows; start-up goes on as if it had read
// them at once.
class SavedQueuesLoadTest : public ::testing::Test {
protected:
    AppStateHarness harness;

    void SetUp() override { test::returningUser(harness); }

    const std::vector<std::string> reads{"Saved Messages queue", "Saved Gmail queue"};
};

TEST_F(SavedQueuesLoadTest, SubscriptionsAndTheStartTaskWaitForTheSavedQueues) {
    AppState& app = harness.construct();
    EXPECT_TRUE(app.state().isLoadingSavedQueues);
    EXPECT_TRUE(app.state().snapshots.empty());
    app.start();
    harness.queue.drain();                               // the tasks begin
    EXPECT_EQ(harness.executor.pendingLabels(), reads);  // the start task reads the Gmail status only later

    ASSERT_TRUE(harness.executor.runNext());
    harness.queue.drain();
    EXPECT_TRUE(app.state().isLoadingSavedQueues);  // both queues are taken together
    EXPECT_EQ(harness.executor.pendingLabels(), std::vector<std::string>{"Saved Gmail queue"});

    ASSERT_TRUE(harness.executor.runNext());
    harness.queue.drain();
    EXPECT_FALSE(app.state().isLoadingSavedQueues);
    ASSERT_TRUE(app.state().snapshot(ReviewSource::messages));
    ASSERT_TRUE(app.state().snapshot(ReviewSource::gmail));
    EXPECT_EQ(app.state().snapshot(ReviewSource::gmail)->items.front().id, "g1");
    const auto pending = harness.executor.pendingLabels();
    EXPECT_NE(std::ranges::find(pending, "Gmail stored status"), pending.end());
    harness.settle();
    EXPECT_TRUE(app.state().gmailStatus.connected);
}

TEST_F(SavedQueuesLoadTest, AQueueDroppedWhileTheSavedOnesAreReadStaysDropped) {
    AppState& app = harness.construct();
    harness.queue.drain();
    ASSERT_TRUE(harness.executor.runNext());  // the Messages file is read; its queue waits to be taken
    app.invalidateMessagesSnapshot();
    harness.settle();
    EXPECT_FALSE(app.state().isLoadingSavedQueues);
    EXPECT_FALSE(app.state().snapshot(ReviewSource::messages));
    EXPECT_TRUE(app.state().snapshot(ReviewSource::gmail));
    EXPECT_FALSE(app.pendingMessagesRebuild());  // as dropping it after start-up leaves it
}

TEST_F(SavedQueuesLoadTest, QuittingWhileTheyAreReadTakesNothing) {
    AppState& app = harness.construct();
    bool finished = false;
    app.shutdownForTermination([&] { finished = true; });
    harness.settle();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(app.state().snapshots.empty());
    EXPECT_TRUE(std::filesystem::exists(harness.snapshotFile(ReviewSource::messages)));
}

}  // namespace
}  // namespace nudgerly
