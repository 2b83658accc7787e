#include <atomic>
#include <limits>
#include <thread>

#include <gtest/gtest.h>

#include "classifier/ConversationClassifier.h"
#include "core/CancelledError.h"
#include "core/Date.h"
#include "localmodel/LocalModelError.h"
#include "queues/ManualMainQueue.h"
#include "support/ScriptedLocalModel.h"
#include "support/ThreadWatch.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using test::nothingOwed;
using test::owed;
using test::ScriptedLocalModel;
using Call = ScriptedLocalModel::Call;

// 2026-03-10T19:00:00Z is noon in Los Angeles, two days after daylight-saving time began.
const Date generated = *Iso8601::parse("2026-03-10T19:00:00Z");

// Text that no guardrail settles, so the model (or the heuristic) decides.
Conversation quiet(std::string id, std::string text = "The meeting moved to Thursday") {
    return {.id = std::move(id),
            .source = ReviewSource::messages,
            .person = "Ann",
            .messages = {{.fromMe = false, .text = std::move(text), .date = generated.addingSeconds(-3600)}}};
}

ConversationBatch batchOf(std::vector<Conversation> conversations, int64_t inboundEnding = 0) {
    return {.generatedAt = generated,
            .lookbackDays = 7,
            .messageCount = 10,
            .activeConversations = 5,
            .inboundEndingCount = inboundEnding,
            .conversations = std::move(conversations)};
}

std::vector<std::string> itemIDs(const ReviewSnapshot& snapshot) {
    std::vector<std::string> ids;
    for (const auto& item : snapshot.items) {
        ids.push_back(item.id);
    }
    return ids;
}

class ClassifierTest : public ::testing::Test {
protected:
    ManualMainQueue mainQueue;

    // Runs on a worker as the application does, draining the main queue for the progress calls.
    SnapshotClassificationResult run(ConversationClassifier& classifier, const ConversationBatch& batch,
                                     const std::optional<ReviewSnapshot>& previous = std::nullopt,
                                     ConversationClassifier::ProgressCallback progress = {},
                                     std::stop_source stop = {}) {
        std::optional<SnapshotClassificationResult> result;
        std::atomic<bool> finished{false};  // `result` itself is read only after the join
        std::jthread worker([&] {
            result = classifier.makeSnapshotWithReport(batch, previous, progress, stop.get_token());
            finished = true;
        });
        EXPECT_TRUE(mainQueue.runUntil([&] { return finished.load(); }, 10s));
        worker.join();
        return std::move(*result);
    }
};

TEST_F(ClassifierTest, EmptyBatchReportsOnceAndKeepsCountsSane) {
    auto model =
        std::make_shared<ScriptedLocalModel>([](Call, const Conversation&, std::stop_token) { return nothingOwed(); });
    ConversationClassifier classifier(model, mainQueue);
    std::vector<std::pair<int64_t, int64_t>> progress;
    const auto result = run(classifier, batchOf({}, 4), std::nullopt, [&](int64_t c, int64_t t) {
        EXPECT_TRUE(mainQueue.isMainThread());
        progress.emplace_back(c, t);
    });
    EXPECT_EQ(progress, (std::vector<std::pair<int64_t, int64_t>>{{0, 0}}));
    EXPECT_TRUE(result.snapshot.items.empty());
    ASSERT_TRUE(result.snapshot.classificationCache);
    EXPECT_TRUE(result.snapshot.classificationCache->empty());
    EXPECT_EQ(result.snapshot.clearedCount, 4);
    EXPECT_EQ(result.report, ModelRunReport{});
    // The window starts seven calendar days earlier at the same wall-clock time: across the change to
    // daylight-saving time that is one hour less than seven times 24 hours.
    EXPECT_EQ(result.snapshot.windowEnd.secondsSince(result.snapshot.windowStart), 7 * 86400.0 - 3600);
}

TEST_F(ClassifierTest, ModelAnswersBecomeSortedItemsAndAreReusedNextTime) {
    auto model = std::make_shared<ScriptedLocalModel>([](Call, const Conversation& c, std::stop_token) {
        if (c.id == "a")
            return owed(ReviewStatus::nudgerly);
        if (c.id == "b")
            return owed(ReviewStatus::reply);
        if (c.id == "c")
            return nothingOwed();
        return owed(ReviewStatus::action);
    });
    ConversationClassifier classifier(model, mainQueue, [] { return generated; });
    const auto batch = batchOf({quiet("a"), quiet("b"), quiet("c"), quiet("d"), quiet("e")}, 2);
    std::vector<std::pair<int64_t, int64_t>> progress;
    const auto first = run(classifier, batch, std::nullopt, [&](int64_t c, int64_t t) { progress.emplace_back(c, t); });

    EXPECT_EQ(itemIDs(first.snapshot), (std::vector<std::string>{"b", "d", "e", "a"}));
    EXPECT_EQ(progress.size(), 6u);
    EXPECT_EQ(progress.back(), (std::pair<int64_t, int64_t>{5, 5}));
    EXPECT_EQ(first.snapshot.clearedCount, 0);  // more items than inbound-ending conversations
    EXPECT_TRUE(first.report.usedLocalModel);
    ASSERT_EQ(first.snapshot.classificationCache->size(), 5u);
    EXPECT_EQ(first.snapshot.classificationCache->at(2).conversationID, "c");
    EXPECT_FALSE(first.snapshot.classificationCache->at(2).needsAction);

    const ReviewItem& item = first.snapshot.items[0];
    EXPECT_EQ(item.date, "Mar 10 \u00B7 11:00 AM");
    EXPECT_EQ(item.timestamp, generated.addingSeconds(-3600));
    EXPECT_TRUE(item.priority);
    EXPECT_TRUE(item.completionKey);
    EXPECT_EQ(item.context, "The meeting moved to Thursday");

    const auto callsBefore = model->calls().size();
    const auto second = run(classifier, batch, first.snapshot);
    EXPECT_EQ(model->calls().size(), callsBefore);  // every conversation came from the cache
    EXPECT_EQ(second.snapshot.items, first.snapshot.items);
    EXPECT_EQ(second.snapshot.classificationCache->size(), 5u);
    EXPECT_FALSE(second.report.usedLocalModel);

    // A new message changes the fingerprint: only that conversation is asked again.
    auto changed = batch;
    changed.conversations[1].messages.push_back({.fromMe = false, .text = "Also, lunch", .date = generated});
    const auto third = run(classifier, changed, second.snapshot);
    EXPECT_EQ(model->calls().size(), callsBefore + 1);
    EXPECT_EQ(model->calls().back(), "classify:b");

    // An edit that keeps the length and the time is still a change.
    auto edited = changed;
    edited.conversations[3].messages[0].text = "The meeting moved to Thursdax";
    run(classifier, edited, third.snapshot);
    EXPECT_EQ(model->calls().back(), "classify:d");
    EXPECT_EQ(model->calls().size(), callsBefore + 2);
}

TEST_F(ClassifierTest, WithoutAModelTheHeuristicDecidesAndIsNotCached) {
    auto model = std::make_shared<ScriptedLocalModel>(
        [](Call, const Conversation&, std::stop_token) -> Classification { throw std::logic_error("unused"); },
        ModelAvailability::missing());
    ConversationClassifier classifier(model, mainQueue);
    const auto result = run(classifier, batchOf({quiet("q", "Can you send me the report?"), quiet("n")}));
    EXPECT_TRUE(model->calls().empty());
    EXPECT_EQ(itemIDs(result.snapshot), std::vector<std::string>{"q"});
    EXPECT_TRUE(result.snapshot.classificationCache->empty());
    EXPECT_EQ(result.report, ModelRunReport{});
}

TEST_F(ClassifierTest, ARuntimeFailureOpensTheCircuitForTheRestOfTheRun) {
    auto model =
        std::make_shared<ScriptedLocalModel>([](Call, const Conversation& c, std::stop_token) -> Classification {
            if (c.id == "2")
                throw LocalModelError(LocalModelError::Kind::serverUnavailable);
            return owed(ReviewStatus::action);
        });
    ConversationClassifier classifier(model, mainQueue);
    const auto result = run(classifier, batchOf({quiet("1"), quiet("2"), quiet("3"), quiet("4")}));
    EXPECT_EQ(model->calls(), (std::vector<std::string>{"classify:1", "classify:2"}));
    EXPECT_TRUE(result.report.usedLocalModel);
    EXPECT_EQ(result.report.diagnosticCode, "runtime_unavailable");
    EXPECT_EQ(result.report.issue, LocalModelError::userMessage(LocalModelError::Kind::serverUnavailable));
    EXPECT_EQ(result.snapshot.classificationCache->size(), 1u);  // only the model's own answer
}

TEST_F(ClassifierTest, PerConversationFailuresKeepTheFirstReportAndTheModel) {
    auto model =
        std::make_shared<ScriptedLocalModel>([](Call, const Conversation& c, std::stop_token) -> Classification {
            if (c.id == "3")
                throw LocalModelError(LocalModelError::Kind::contextTooLarge);
            // Asks for attention without saying what is owed: unusable, also on the compact retry.
            return Classification{.needsAction = true, .confidence = 0.9, .summary = "x", .reason = "y"};
        });
    ConversationClassifier classifier(model, mainQueue);
    const auto result = run(classifier, batchOf({quiet("1"), quiet("2"), quiet("3"), quiet("4")}));
    EXPECT_EQ(model->calls(),
              (std::vector<std::string>{"classify:1", "retryClassify:1", "classify:2", "retryClassify:2", "classify:3",
                                        "classify:4", "retryClassify:4"}));
    EXPECT_EQ(result.report.diagnosticCode, "invalid_model_response");
    EXPECT_FALSE(result.report.usedLocalModel);
}

TEST_F(ClassifierTest, LatestTurnPassOverridesOrFallsBackUncached) {
    auto model =
        std::make_shared<ScriptedLocalModel>([](Call call, const Conversation& c, std::stop_token) -> Classification {
            if (call == Call::classify)
                return owed(ReviewStatus::nudgerly, "Maybe follow up");
            if (c.id == "fails")
                throw LocalModelError(LocalModelError::Kind::badResponse);
            return owed(ReviewStatus::reply, "They asked about Friday", 0.95);
        });
    ConversationClassifier classifier(model, mainQueue);
    const auto result = run(
        classifier, batchOf({quiet("asks", "Did you like the photos?"), quiet("fails", "Did you like the video?")}));
    EXPECT_EQ(model->calls(),
              (std::vector<std::string>{"classify:asks", "latestTurn:asks", "classify:fails", "latestTurn:fails"}));
    ASSERT_EQ(result.snapshot.items.size(), 2u);
    EXPECT_EQ(result.snapshot.items[0].id, "asks");
    EXPECT_EQ(result.snapshot.items[0].status, ReviewStatus::reply);
    EXPECT_EQ(result.snapshot.items[1].status, ReviewStatus::nudgerly);  // the primary stays
    ASSERT_EQ(result.snapshot.classificationCache->size(), 1u);          // but is not cached
    EXPECT_EQ(result.snapshot.classificationCache->at(0).conversationID, "asks");
    EXPECT_EQ(result.report.diagnosticCode, "invalid_model_response");
}

TEST_F(ClassifierTest, CancellationIsNeverReportedAsAModelProblem) {
    // The client shut down under the run (a model change): quietly the heuristic, no warning, no circuit.
    auto model =
        std::make_shared<ScriptedLocalModel>([](Call, const Conversation& c, std::stop_token) -> Classification {
            if (c.id == "1")
                throw CancelledError();
            return owed(ReviewStatus::action);
        });
    ConversationClassifier classifier(model, mainQueue);
    const auto result = run(classifier, batchOf({quiet("1"), quiet("2")}));
    EXPECT_EQ(model->calls(), (std::vector<std::string>{"classify:1", "classify:2"}));
    EXPECT_EQ(result.report.diagnosticCode, std::nullopt);
    EXPECT_EQ(itemIDs(result.snapshot), std::vector<std::string>{"2"});
}

TEST_F(ClassifierTest, StoppingTheRunReturnsWhatWasFinished) {
    std::stop_source stop;
    auto model =
        std::make_shared<ScriptedLocalModel>([&](Call, const Conversation& c, std::stop_token) -> Classification {
            if (c.id == "2") {
                stop.request_stop();
                throw CancelledError();
            }
            return owed(ReviewStatus::reply);
        });
    ConversationClassifier classifier(model, mainQueue);
    const auto result = run(classifier, batchOf({quiet("1"), quiet("2"), quiet("3")}), std::nullopt, {}, stop);
    EXPECT_EQ(itemIDs(result.snapshot), std::vector<std::string>{"1"});
    EXPECT_EQ(result.snapshot.classificationCache->size(), 1u);
    EXPECT_EQ(result.report.diagnosticCode, std::nullopt);
}

TEST_F(ClassifierTest, EmptyConversationsAndUnexpectedErrorsFallBackToTheHeuristic) {
    auto model =
        std::make_shared<ScriptedLocalModel>([](Call, const Conversation& c, std::stop_token) -> Classification {
            if (c.id == "boom")
                throw std::runtime_error("surprise");
            return owed(ReviewStatus::reply);
        });
    ConversationClassifier classifier(model, mainQueue);
    Conversation empty = quiet("empty");
    empty.messages.clear();
    const auto result = run(classifier, batchOf({empty, quiet("boom"), quiet("after")}));
    EXPECT_EQ(model->calls(), (std::vector<std::string>{"classify:boom"}));  // the circuit opened
    EXPECT_EQ(result.report.diagnosticCode, "unexpected_error");
    EXPECT_TRUE(result.snapshot.items.empty());
}

TEST_F(ClassifierTest, ItemsShowTheLatestMessageAsWritten) {
    auto model = std::make_shared<ScriptedLocalModel>(
        [](Call, const Conversation&, std::stop_token) { return owed(ReviewStatus::reply); });
    ConversationClassifier classifier(model, mainQueue);
    Conversation link = quiet("link");
    link.source = ReviewSource::gmail;  // in Messages a shared link is settled by its own guardrail
    link.messages.back().linkPreview = MessageLinkPreview{"Title", "example.com", "https://example.com", std::nullopt};
    Conversation shown = quiet("shown");
    shown.messages.back().displayText = "Shown text";
    shown.messages.push_back({.fromMe = true, .text = "The photos are on the drive", .date = generated});
    const auto result = run(classifier, batchOf({link, shown}));
    ASSERT_EQ(result.snapshot.items.size(), 2u);
    EXPECT_EQ(result.snapshot.items[0].context, "");
    EXPECT_TRUE(result.snapshot.items[0].messageLinkPreview);
    EXPECT_EQ(result.snapshot.items[1].context, "The photos are on the drive");  // the latest message, whoever wrote it
    EXPECT_EQ(result.snapshot.items[1].timestamp, generated);
}

TEST_F(ClassifierTest, AFailureWhileBuildingOneItemSkipsOnlyThatConversation) {
    auto model = std::make_shared<ScriptedLocalModel>(
        [](Call, const Conversation&, std::stop_token) { return owed(ReviewStatus::reply); });
    int clockReads = 0;
    ConversationClassifier classifier(model, mainQueue, [&] {
        if (++clockReads == 1)
            throw std::runtime_error("the clock failed");
        return generated;
    });
    auto batch = batchOf({quiet("a"), quiet("b")}, 2);
    batch.lookbackDays = std::numeric_limits<int64_t>::min();  // no window can be that long
    std::vector<std::pair<int64_t, int64_t>> progress;
    const auto result =
        run(classifier, batch, std::nullopt, [&](int64_t c, int64_t t) { progress.emplace_back(c, t); });
    EXPECT_EQ(itemIDs(result.snapshot), std::vector<std::string>{"b"});
    ASSERT_EQ(result.snapshot.classificationCache->size(), 1u);  // nothing is kept of the skipped one
    EXPECT_EQ(result.snapshot.classificationCache->at(0).conversationID, "b");
    EXPECT_EQ(progress, (std::vector<std::pair<int64_t, int64_t>>{{0, 2}, {1, 2}, {2, 2}}));
    EXPECT_EQ(result.snapshot.clearedCount, 1);
    EXPECT_EQ(result.snapshot.windowStart, generated);
}

TEST_F(ClassifierTest, ARunStoppedWhileWaitingForAnotherEndsAtOnceAndTheNextGoesOn) {
    std::atomic<bool> slowStarted{false};
    std::atomic<bool> letSlowFinish{false};
    auto model = std::make_shared<ScriptedLocalModel>([&](Call, const Conversation& c, std::stop_token) {
        if (c.id == "slow") {
            slowStarted = true;
            letSlowFinish.wait(false);
        }
        return owed(ReviewStatus::reply);
    });
    ConversationClassifier classifier(model, mainQueue);
    std::optional<SnapshotClassificationResult> stopped, next;
    std::atomic<bool> firstDone{false}, stoppedDone{false}, nextDone{false};
    std::stop_source stopWaiting;

    std::jthread first([&] {
        classifier.makeSnapshotWithReport(batchOf({quiet("slow")}), std::nullopt, {}, {});
        firstDone = true;
    });
    ASSERT_TRUE(mainQueue.runUntil([&] { return slowStarted.load(); }, 5s));
    test::ThreadWatch waiter, behindWaiter;
    std::jthread waiting([&] {
        waiter.arrive();
        stopped = classifier.makeSnapshotWithReport(batchOf({quiet("stopped")}, 3), std::nullopt, {},
                                                    stopWaiting.get_token());
        stoppedDone = true;
    });
    std::jthread behind([&] {
        behindWaiter.arrive();
        next = classifier.makeSnapshotWithReport(batchOf({quiet("next")}), std::nullopt, {}, {});
        nextDone = true;
    });
    // Both wait in line (the run's first step).
    EXPECT_TRUE(waiter.waitUntilBlocked() && behindWaiter.waitUntilBlocked());
    stopWaiting.request_stop();
    EXPECT_TRUE(mainQueue.runUntil([&] { return stoppedDone.load(); }, 5s)) << "the stopped run kept waiting";
    EXPECT_FALSE(firstDone);

    letSlowFinish = true;
    letSlowFinish.notify_all();
    ASSERT_TRUE(mainQueue.runUntil([&] { return firstDone && nextDone; }, 10s));
    first.join();
    waiting.join();
    behind.join();
    EXPECT_TRUE(stopped->snapshot.items.empty());
    EXPECT_EQ(stopped->snapshot.clearedCount, 3);
    EXPECT_EQ(stopped->report, ModelRunReport{});
    EXPECT_EQ(itemIDs(next->snapshot), std::vector<std::string>{"next"});
    EXPECT_EQ(model->calls(), (std::vector<std::string>{"classify:slow", "classify:next"}));
}

TEST(SnapshotRunGateTests, AStoppedWaiterLeavesTheLine) {
    SnapshotRunGate gate;
    ASSERT_TRUE(gate.acquire());
    std::stop_source stopFirst;
    std::atomic<int> firstAcquired{-1};
    std::atomic<bool> secondAcquired{false};
    std::jthread first([&] { firstAcquired = gate.acquire(stopFirst.get_token()) ? 1 : 0; });
    while (gate.waitingCount() < 1) {
        std::this_thread::yield();
    }
    std::jthread second([&] {
        secondAcquired = gate.acquire();
        gate.release();
    });
    while (gate.waitingCount() < 2) {
        std::this_thread::yield();
    }
    stopFirst.request_stop();
    first.join();
    EXPECT_EQ(firstAcquired, 0);
    EXPECT_EQ(gate.waitingCount(), 1u);

    gate.release();
    second.join();
    EXPECT_TRUE(secondAcquired);
    // Nobody holds the gate now; a stop that came before the call does not take it.
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_FALSE(gate.acquire(stopped.get_token()));
    EXPECT_TRUE(gate.acquire());
    gate.release();
}

TEST(SnapshotRunGateTests, ServesWaitersInArrivalOrder) {
    SnapshotRunGate gate;
    gate.acquire();
    std::vector<int> order;
    std::mutex orderMutex;
    std::vector<std::jthread> waiters;
    for (int i = 1; i <= 3; ++i) {
        waiters.emplace_back([&, i] {
            gate.acquire();
            {
                std::lock_guard lock(orderMutex);
                order.push_back(i);
            }
            gate.release();
        });
        while (gate.waitingCount() < static_cast<uint64_t>(i)) {
            std::this_thread::yield();
        }
    }
    gate.release();
    waiters.clear();
    EXPECT_EQ(order, (std::vector{1, 2, 3}));
}

}  // namespace
}  // namespace nudgerly
