#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "RefreshTestSupport.h"
#include "modelpacks/DownloadFixtures.h"
#include "state/AppStateSettings.h"

namespace nudgerly {
namespace {

using namespace test;
using namespace std::chrono_literals;
namespace Keys = AppStateSettings;

ReviewItem itemWith(std::string id, std::optional<std::string> completionKey) {
    ReviewItem item = savedQueue(id).items[0];
    item.completionKey = std::move(completionKey);
    return item;
}

std::set<std::string> storedMarks(const InMemorySettingsStore& settings) {
    const auto stored = settings.stringArray(Keys::completedItems);
    return stored ? std::set<std::string>(stored->begin(), stored->end()) : std::set<std::string>{};
}

class ItemActionsTest : public ::testing::Test {
protected:
    AppStateHarness harness;

    void SetUp() override { readyUser(harness); }
    const PublishedState& state() { return harness.app().state(); }

    // A saved Messages queue of `items`, shown open, the first one selected.
    AppState& startWith(std::vector<ReviewItem> items) {
        ReviewSnapshot snapshot = savedQueue("unused");
        snapshot.items = std::move(items);
        harness.saveSnapshot(ReviewSource::messages, snapshot);
        harness.settings->setData(Keys::messagesContactsHistoryToken, "token-1");
        AppState& app = harness.buildAndStart();
        app.showQueue(ReviewSource::messages, QueueCompletionScope::open);
        app.setSelectedItemID(snapshot.items.front().id);
        return app;
    }
};

TEST_F(ItemActionsTest, MarkingDoneTwiceReopensTheItemAndTheStoredMarksFollow) {
    const ReviewItem first = itemWith("a", "completion-v1:aaaa");
    AppState& app = startWith({first, itemWith("b", "completion-v1:bbbb")});
    harness.settings->setStringArray(Keys::completedItems, {"elsewhere"});
    app.toggleCompleted(first);  // a mark made before start-up would be loaded; this one only joins

    EXPECT_TRUE(state().completed.contains("completion-v1:aaaa"));
    EXPECT_EQ(storedMarks(*harness.settings), (std::set<std::string>{"completion-v1:aaaa"}));
    // The item left the open queue, and the selection moved on to what is still there.
    EXPECT_EQ(state().selectedItemID, "b");

    app.toggleCompleted(first);
    EXPECT_FALSE(state().completed.contains("completion-v1:aaaa"));
    EXPECT_EQ(storedMarks(*harness.settings), std::set<std::string>{});
    EXPECT_EQ(state().selectedItemID, "b");
}

TEST_F(ItemActionsTest, AnItemWithoutAKeyIsMarkedByItsIdAndARefreshCarriesTheMarkOver) {
    const Date latest = harnessNow().addingSeconds(-3600);
    ReviewItem legacy = itemWith("c1", std::nullopt);
    legacy.timestamp = latest;
    AppState& app = startWith({legacy});
    app.toggleCompleted(legacy);
    EXPECT_EQ(storedMarks(*harness.settings), (std::set<std::string>{"c1"}));
    EXPECT_FALSE(state().selectedItemID);  // nothing open is left to select

    harness.messages->onScan = [latest](LookbackWindow lookback, std::stop_token) {
        return batchOf({asking("c1", latest)}, lookback);
    };
    app.refresh(ReviewSource::messages, LookbackWindow::seven);
    harness.settle();
    const ReviewSnapshot* refreshed = state().snapshot(ReviewSource::messages);
    ASSERT_TRUE(refreshed && refreshed->items.size() == 1 && refreshed->items[0].completionKey);
    const std::string key = *refreshed->items[0].completionKey;
    EXPECT_EQ(state().completed, std::unordered_set<std::string>{key});
    EXPECT_EQ(storedMarks(*harness.settings), std::set<std::string>{key});
}

TEST_F(ItemActionsTest, CopyingAndOpeningActOnlyOnWhatTheItemHolds) {
    AppState& app = startWith({itemWith("a", std::nullopt)});
    const std::string earlier = state().activity;
    ReviewItem bare = itemWith("bare", std::nullopt);
    app.copyDraft(bare);
    app.open(bare);
    EXPECT_TRUE(harness.clipboard->texts.empty());
    EXPECT_EQ(state().activity, earlier);
    EXPECT_TRUE(harness.opener->opened.empty());

    ReviewItem full = bare;
    full.draft = "";  // an empty draft is still one
    full.openURL = "sms:+15550100";
    app.copyDraft(full);
    EXPECT_EQ(harness.clipboard->texts, std::vector<std::string>{""});
    EXPECT_EQ(state().activity, "Draft copied");
    full.draft = "Sure, sending it tonight.";
    app.copyDraft(full);
    app.open(full);
    harness.settle();
    EXPECT_EQ(harness.clipboard->texts, (std::vector<std::string>{"", "Sure, sending it tonight."}));
    EXPECT_EQ(harness.opener->opened, std::vector<std::string>{"sms:+15550100"});
    EXPECT_EQ(state().activity, "Draft copied");
}

TEST_F(ItemActionsTest, AMessagesLinkNoProgramTakesIsToldAndAWebLinkIsNot) {
    AppState& app = startWith({itemWith("a", std::nullopt)});
    harness.opener->takesLinks = false;
    ReviewItem gmail = itemWith("g", std::nullopt);
    gmail.source = ReviewSource::gmail;
    gmail.openURL = "https://mail.google.com/mail/u/0/#inbox/g";
    const std::string earlier = state().activity;
    app.open(gmail);
    harness.settle();
    EXPECT_EQ(state().activity, earlier);

    ReviewItem messages = itemWith("m", std::nullopt);
    messages.openURL = "sms:+15550100";
    app.open(messages);
    EXPECT_EQ(state().activity, earlier);  // the desktop is asked on a worker
    harness.settle();
    EXPECT_EQ(state().activity, "No program on this computer opens Messages links.");
    EXPECT_EQ(harness.opener->opened, (std::vector<std::string>{gmail.openURL.value(), "sms:+15550100"}));
}

#ifndef NDEBUG
TEST_F(ItemActionsTest, AnOperationCalledFromAnotherThreadStopsADebugBuild) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    AppState& app = startWith({itemWith("a", std::nullopt)});
    ReviewItem item = itemWith("a", std::nullopt);
    item.draft = "On my way.";
    EXPECT_DEATH(std::thread([&] { app.copyDraft(item); }).join(), "main-thread-only");
    EXPECT_DEATH(std::thread([&] { app.refresh(ReviewSource::messages, LookbackWindow::seven); }).join(),
                 "main-thread-only");
    // The fields the window writes directly, too.
    EXPECT_DEATH(std::thread([&] { app.setSearch("ann"); }).join(), "main-thread-only");
    EXPECT_DEATH(std::thread([&] { app.setSelectedItemID("a"); }).join(), "main-thread-only");
    EXPECT_DEATH(std::thread([&] { app.dismissError(); }).join(), "main-thread-only");
}
#endif

// ---- Shutdown on the manual executor ----

class ShutdownTest : public ::testing::Test {
protected:
    AppStateHarness harness;

    ShutdownTest() {
        readyUser(harness);
        harness.downloadTransport = transport;
    }
    const PublishedState& state() { return harness.app().state(); }

    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
};

TEST_F(ShutdownTest, ClosingStopsTheWorkAndTheModelServerWithoutWaiting) {
    AppState& app = harness.buildAndStart();
    app.connectGmail();
    app.refresh(ReviewSource::messages, LookbackWindow::seven);
    harness.queue.drain();
    ASSERT_TRUE(state().gmailAuthorizationInProgress);

    app.shutdown();
    EXPECT_FALSE(state().gmailAuthorizationInProgress);
    EXPECT_TRUE(state().refreshingSources.empty());
    EXPECT_EQ(harness.localModel->shutdownCount(), 0);  // stopped on a worker, later

    harness.settle();
    EXPECT_EQ(harness.localModel->shutdownCount(), 1);
    EXPECT_FALSE(std::filesystem::exists(harness.snapshotFile(ReviewSource::messages)));
    EXPECT_EQ(state().gmailStatus.email, "me@example.com");  // the sign-in that ended late changed nothing
}

TEST_F(ShutdownTest, ADownloadIsPausedOnlyWhileItRuns) {
    AppState& app = harness.buildAndStart();
    app.shutdown();
    harness.settle();
    EXPECT_TRUE(transport->made.empty());
    EXPECT_EQ(state().modelDownloadState.kind, ModelDownloadState::Kind::missing);

    app.startModelDownload();
    transport->last().progress(5, harness.catalog.packs[0].byteCount);
    harness.settle();
    ASSERT_EQ(state().modelDownloadState.kind, ModelDownloadState::Kind::downloading);
    app.shutdown();
    EXPECT_TRUE(transport->last().pauseAnswer) << "the transfer was asked for resume data";
    EXPECT_FALSE(transport->last().cancelled);
}

TEST_F(ShutdownTest, QuittingReportsTheEndOnTheMainQueueOnceTheServerIsStopped) {
    AppState& app = harness.buildAndStart();
    int finished = 0;
    app.shutdownForTermination([&] { ++finished; });
    harness.queue.drain();
    EXPECT_EQ(finished, 0);
    // While the program waits to end, a refresh asked for in the window starts nothing.
    app.refreshAll(LookbackWindow::seven);
    harness.queue.drain();
    EXPECT_TRUE(state().refreshingSources.empty());
    EXPECT_EQ(harness.executor.pendingLabels(), std::vector<std::string>{"Model server shutdown"});

    harness.settle();
    EXPECT_EQ(harness.localModel->shutdownCount(), 1);
    EXPECT_EQ(finished, 1);
}

// ---- Shutdown with real worker threads ----

// Real workers that note the end of each job, so that a test can wait for what a job hands back to
// the main thread (it is posted before the job ends).
class NotingExecutor final : public BackgroundExecutor {
public:
    std::stop_source submit(std::string label, Job job) override {
        return pool_.submit(label, [this, label, job = std::move(job)](std::stop_token stop) {
            struct Noted {
                NotingExecutor& executor;
                const std::string& label;
                ~Noted() {
                    std::lock_guard lock(executor.mutex_);
                    executor.ended_.insert(label);
                }
            } noted{*this, label};
            job(stop);
        });
    }
    bool stop(std::chrono::milliseconds bound = defaultStopBound) override { return pool_.stop(bound); }

    bool hasEnded(const std::string& label) {
        std::lock_guard lock(mutex_);
        return ended_.contains(label);
    }

private:
    std::mutex mutex_;
    std::multiset<std::string> ended_;
    ThreadPoolExecutor pool_;  // last: its jobs end before the rest goes
};

// The sources' reads run on real workers and block until they are stopped (or, for a stubborn read,
// until the test lets them go). Virtual time moves only when the test says so.
class ShutdownWithWorkersTest : public ::testing::Test {
protected:
    AppStateHarness harness;
    NotingExecutor workers;

    std::mutex mutex;
    std::vector<std::string> stops;  // which read saw its stop, in order
    std::atomic<int> reading{0};
    std::atomic<int> returned{0};
    std::atomic<bool> stubborn{false};
    std::atomic<bool> letGo{false};

    ShutdownWithWorkersTest() {
        readyUser(harness);
        harness.workers = &workers;
        harness.messages->onScan = [this](LookbackWindow lookback, std::stop_token stop) {
            read("Messages", stop);
            return batchOf({asking("m1")}, lookback);
        };
        harness.gmail->onRefresh = [this](LookbackWindow lookback, const GmailSource::Progress&, std::stop_token stop) {
            read("Gmail", stop);
            return batchOf({asking("g1", harnessNow().addingSeconds(-3600), ReviewSource::gmail)}, lookback);
        };
    }

    void TearDown() override {
        letGo = true;
        harness.destroy();
        workers.stop();
    }

    // Blocks like a long read and then hands back a whole batch anyway, as a read that finished just
    // as it was stopped does.
    void read(const std::string& source, std::stop_token stop) {
        std::stop_callback noted(stop, [&] {
            std::lock_guard lock(mutex);
            stops.push_back(source);
        });
        ++reading;
        while (!letGo && (stubborn || !stop.stop_requested())) {
            std::this_thread::sleep_for(2ms);
        }
        ++returned;
    }

    const PublishedState& state() { return harness.app().state(); }

    AppState& startBothRefreshes() {
        AppState& app = harness.build();
        app.start();
        EXPECT_TRUE(harness.queue.runUntil([&] { return state().gmailStatus.connected; }));
        app.refreshAll(LookbackWindow::seven);
        EXPECT_TRUE(harness.queue.runUntil([&] { return reading == 2; }));
        return app;
    }

    // Lets the model server stop and the task come back from it, in real time.
    void letTheServerStop() {
        ASSERT_TRUE(harness.queue.runUntil([&] { return workers.hasEnded("Model server shutdown"); }));
        harness.queue.drain();
        EXPECT_EQ(harness.localModel->shutdownCount(), 1);
    }
};

TEST_F(ShutdownWithWorkersTest, QuittingDuringTwoRefreshesStopsMessagesThenGmailAndSavesNothing) {
    AppState& app = startBothRefreshes();
    int finished = 0;
    app.shutdownForTermination([&] { ++finished; });
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(stops, (std::vector<std::string>{"Messages", "Gmail"}));
    }
    EXPECT_TRUE(state().refreshingSources.empty());
    ASSERT_TRUE(harness.queue.runUntil(
        [&] { return returned == 2 && workers.hasEnded("Messages scan") && workers.hasEnded("Gmail refresh"); }));
    letTheServerStop();

    // Both reads have ended: the quit ends at a look soon after, well before the bound.
    auto waited = 0ms;
    while (finished == 0 && waited < 3s) {
        harness.queue.runUntil([&] { return finished > 0; }, 20ms);
        harness.queue.advance(50ms);
        waited += 50ms;
    }
    EXPECT_EQ(finished, 1);
    EXPECT_LT(waited, 1s);
    EXPECT_FALSE(std::filesystem::exists(harness.snapshotFile(ReviewSource::messages)));
    EXPECT_FALSE(std::filesystem::exists(harness.snapshotFile(ReviewSource::gmail)));
    EXPECT_FALSE(state().errorMessage);
}

TEST_F(ShutdownWithWorkersTest, QuittingEndsWithinItsBoundWhenARunningJobIgnoresItsStop) {
    stubborn = true;
    AppState& app = startBothRefreshes();
    int finished = 0;
    app.shutdownForTermination([&] { ++finished; });
    letTheServerStop();

    harness.queue.advance(2900ms);
    EXPECT_EQ(finished, 0);
    harness.queue.advance(200ms);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(returned, 0);  // still running: the program ends without it

    letGo = true;
    ASSERT_TRUE(
        harness.queue.runUntil([&] { return workers.hasEnded("Messages scan") && workers.hasEnded("Gmail refresh"); }));
    harness.queue.drain();  // what the late reads handed back
    EXPECT_EQ(returned, 2);
    EXPECT_FALSE(std::filesystem::exists(harness.snapshotFile(ReviewSource::messages)));
    EXPECT_FALSE(std::filesystem::exists(harness.snapshotFile(ReviewSource::gmail)));
}

}  // namespace
}  // namespace nudgerly
