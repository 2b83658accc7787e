#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "RefreshTestSupport.h"
#include "core/Files.h"
#include "core/UserFacingError.h"
#include "localmodel/LocalModelError.h"
#include "review/CompletionKeyPolicy.h"
#include "state/AppStateSettings.h"
#include "storage/SnapshotStore.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

using namespace test;
namespace Keys = AppStateSettings;
using Call = ScriptedLocalModel::Call;

std::vector<std::string> itemIDs(const ReviewSnapshot* snapshot) {
    std::vector<std::string> ids;
    if (snapshot) {
        for (const ReviewItem& item : snapshot->items) {
            ids.push_back(item.id);
        }
    }
    return ids;
}

RefreshProgress line(ReviewSource source, std::string detail, std::optional<int64_t> completed = std::nullopt,
                     std::optional<int64_t> total = std::nullopt) {
    return {.source = source, .detail = std::move(detail), .completed = completed, .total = total};
}

class RefreshRunTest : public ::testing::Test {
protected:
    AppStateHarness harness;

    void SetUp() override { readyUser(harness); }

    AppState& app() { return harness.app(); }
    const PublishedState& state() { return harness.app().state(); }
    std::optional<RefreshProgress> progress(ReviewSource source) {
        const auto found = state().refreshProgressBySource.find(source);
        return found == state().refreshProgressBySource.end() ? std::nullopt : std::optional(found->second);
    }
    // Lets main-thread work run until the next job waits on the executor; its label.
    std::string runUntilJob() {
        harness.queue.drain();
        const auto labels = harness.executor.pendingLabels();
        return labels.empty() ? "" : labels.front();
    }
    std::string fileBytes(ReviewSource source) { return readFile(harness.snapshotFile(source)); }
    // A local model that fails on the conversation with this id, so the run falls back to the rules.
    void modelFailsOn(std::string failing) {
        harness.localModel = std::make_shared<ScriptedLocalModel>(
            [failing](Call, const Conversation& conversation, std::stop_token) -> Classification {
                if (conversation.id == failing) {
                    throw LocalModelError(LocalModelError::Kind::serverUnavailable);
                }
                return nothingOwed();
            });
    }
};

TEST_F(RefreshRunTest, AMessagesRunReadsClassifiesSavesPublishesAndSaysWhen) {
    // A legacy mark by id: the refreshed item with the same latest time carries it over to its key.
    const Date latest = harnessNow().addingSeconds(-3600);
    ReviewSnapshot previous = savedQueue("c1");
    previous.items[0].timestamp = latest;
    harness.saveSnapshot(ReviewSource::messages, previous);
    harness.settings->setData(Keys::messagesContactsHistoryToken, "token-1");
    harness.settings->setStringArray(Keys::completedItems, {"c1", "other"});
    harness.messages->onScan = [](LookbackWindow lookback, std::stop_token) {
        return batchOf({asking("c1", harnessNow().addingSeconds(-3600)), telling("c2"), asking("c3")}, lookback);
    };
    harness.buildAndStart();

    app().refresh(ReviewSource::messages, LookbackWindow::thirty);
    EXPECT_EQ(state().refreshingSources, std::set{ReviewSource::messages});
    EXPECT_EQ(progress(ReviewSource::messages), line(ReviewSource::messages, "Starting Messages refresh"));

    EXPECT_EQ(runUntilJob(), "Messages scan");
    EXPECT_EQ(progress(ReviewSource::messages), line(ReviewSource::messages, "Opening the local Messages database"));
    harness.executor.runNext();
    EXPECT_EQ(harness.messages->calls().back(), "scan(30)");

    EXPECT_EQ(runUntilJob(), "Messages classification");
    harness.executor.runNext();
    EXPECT_EQ(progress(ReviewSource::messages),
              line(ReviewSource::messages, "Reviewing new or changed conversations", 3, 3));

    EXPECT_EQ(runUntilJob(), "");
    const ReviewSnapshot* published = state().snapshot(ReviewSource::messages);
    EXPECT_EQ(itemIDs(published), (std::vector<std::string>{"c1", "c3"}));
    EXPECT_NO_THROW(SnapshotStore::decode(fileBytes(ReviewSource::messages)));
    EXPECT_EQ(fileBytes(ReviewSource::messages), SnapshotStore::encode(*published));
    EXPECT_EQ(harness.settings->data(Keys::messagesContactsHistoryToken), "token-1");

    const std::string key = *published->items[0].completionKey;
    EXPECT_EQ(state().completed, (std::unordered_set<std::string>{key, "other"}));
    const auto stored = harness.settings->stringArray(Keys::completedItems);
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::set<std::string>(stored->begin(), stored->end()), (std::set<std::string>{key, "other"}));

    EXPECT_EQ(state().activity, "Messages last refreshed at 12:00\u202FPM");  // ICU's short time, en_US
    EXPECT_FALSE(state().errorMessage);
    EXPECT_TRUE(state().refreshingSources.empty());
    EXPECT_TRUE(state().refreshProgressBySource.empty());
}

TEST_F(RefreshRunTest, ARunBegunWithoutAContactsTokenRemovesTheStoredOne) {
    harness.settings->setData(Keys::messagesContactsHistoryToken, "token-1");
    harness.buildAndStart();
    harness.contacts->setHistoryToken(std::nullopt);
    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    harness.settle();
    EXPECT_TRUE(state().snapshot(ReviewSource::messages));
    EXPECT_FALSE(harness.settings->value(Keys::messagesContactsHistoryToken));
}

TEST_F(RefreshRunTest, AGmailRunKeepsThePreviousItemsOfThreadsWhoseFetchFailed) {
    harness.saveSnapshot(ReviewSource::gmail, savedQueue("t-failed", ReviewSource::gmail));
    std::vector<std::optional<RefreshProgress>> seen;
    harness.gmail->onRefresh = [&](LookbackWindow lookback, const GmailSource::Progress& report, std::stop_token) {
        report("Listing inbox threads", std::nullopt, std::nullopt);
        seen.push_back(progress(ReviewSource::gmail));
        report("Reading threads", 1, 2);
        seen.push_back(progress(ReviewSource::gmail));
        ConversationBatch batch =
            batchOf({asking("t-new", harnessNow().addingSeconds(-60), ReviewSource::gmail)}, lookback);
        batch.warning = "1 thread could not be read. Its earlier entry is kept.";
        batch.unavailableConversationIDs = {"t-failed"};
        return batch;
    };
    harness.buildAndStart();

    app().refresh(ReviewSource::gmail, LookbackWindow::seven);
    EXPECT_EQ(runUntilJob(), "Gmail refresh");
    harness.executor.runNext();
    EXPECT_EQ(seen, (std::vector<std::optional<RefreshProgress>>{line(ReviewSource::gmail, "Listing inbox threads"),
                                                                 line(ReviewSource::gmail, "Reading threads", 1, 2)}));
    EXPECT_EQ(runUntilJob(), "Gmail classification");
    harness.executor.runNext();
    EXPECT_EQ(progress(ReviewSource::gmail), line(ReviewSource::gmail, "Reviewing new or changed conversations", 1, 1));

    // Saved and published before the connection status is read again.
    harness.gmail->setStatus({.configured = true, .connected = true, .email = "new@example.com"});
    EXPECT_EQ(runUntilJob(), "Gmail status");
    EXPECT_EQ(progress(ReviewSource::gmail), line(ReviewSource::gmail, "Saving the updated queue"));
    EXPECT_EQ(itemIDs(state().snapshot(ReviewSource::gmail)), (std::vector<std::string>{"t-new", "t-failed"}));
    EXPECT_EQ(fileBytes(ReviewSource::gmail), SnapshotStore::encode(*state().snapshot(ReviewSource::gmail)));

    harness.settle();
    EXPECT_EQ(state().gmailStatus.email, "new@example.com");
    EXPECT_EQ(state().activity, "Gmail refreshed with a warning");
    EXPECT_EQ(state().errorMessage, "1 thread could not be read. Its earlier entry is kept.");
    EXPECT_TRUE(state().refreshingSources.empty());
}

TEST_F(RefreshRunTest, AModelFallbackIsSaidOnceForBothSourcesAndCountsGoUpInOrder) {
    std::vector<std::optional<RefreshProgress>> seen;
    harness.localModel = std::make_shared<ScriptedLocalModel>(
        [&](Call, const Conversation& conversation, std::stop_token) -> Classification {
            seen.push_back(progress(conversation.source));
            if (conversation.id == "c2" || conversation.id == "t1") {
                throw LocalModelError(LocalModelError::Kind::serverUnavailable);
            }
            return nothingOwed();
        });
    harness.messages->onScan = [](LookbackWindow lookback, std::stop_token) {
        return batchOf({telling("c1"), asking("c2")}, lookback);
    };
    harness.gmail->onRefresh = [](LookbackWindow lookback, const GmailSource::Progress&, std::stop_token) {
        return batchOf({asking("t1", harnessNow().addingSeconds(-60), ReviewSource::gmail)}, lookback);
    };
    harness.buildAndStart();
    ASSERT_EQ(state().modelAvailability, ModelAvailability::bundled());

    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    harness.settle();
    const std::string detail = "Reviewing new or changed conversations with the local model";
    EXPECT_EQ(seen, (std::vector<std::optional<RefreshProgress>>{line(ReviewSource::messages, detail, 0, 2),
                                                                 line(ReviewSource::messages, detail, 1, 2)}));
    EXPECT_EQ(state().activity, "Messages refreshed using the safe local fallback");
    ASSERT_TRUE(state().modelRuntimeIssue);
    EXPECT_EQ(state().errorMessage, state().modelRuntimeIssue);
    EXPECT_TRUE(state().modelRuntimeDiagnosticCode);
    const std::string issue = *state().modelRuntimeIssue;

    app().refresh(ReviewSource::gmail, LookbackWindow::seven);
    harness.settle();
    EXPECT_EQ(state().activity, "Gmail refreshed using the safe local fallback");
    EXPECT_EQ(state().modelRuntimeIssue, issue);            // the same problem, told once
    EXPECT_EQ(state().errorMessage, issue + "\n" + issue);  // each source's own issue, Messages first
}

TEST_F(RefreshRunTest, ARunCancelledDuringClassificationChangesNothingANewerRunOwns) {
    harness.saveSnapshot(ReviewSource::messages, savedQueue("kept"));
    harness.settings->setData(Keys::messagesContactsHistoryToken, "token-1");
    harness.messages->onScan = [](LookbackWindow lookback, std::stop_token) {
        return batchOf({asking("c1")}, lookback);
    };
    harness.buildAndStart();
    const std::string before = fileBytes(ReviewSource::messages);

    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    EXPECT_EQ(runUntilJob(), "Messages scan");
    harness.executor.runNext();
    EXPECT_EQ(runUntilJob(), "Messages classification");
    const std::string activity = state().activity;

    app().cancelRefresh(ReviewSource::messages);
    EXPECT_TRUE(state().refreshingSources.empty());
    EXPECT_TRUE(state().refreshProgressBySource.empty());

    // A newer run starts while the old classification is still queued.
    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    harness.queue.drain();
    const auto newer = progress(ReviewSource::messages);
    harness.executor.runNext();  // the old classification, told to stop
    harness.queue.drain();
    EXPECT_EQ(fileBytes(ReviewSource::messages), before);
    EXPECT_EQ(itemIDs(state().snapshot(ReviewSource::messages)), std::vector<std::string>{"kept"});
    EXPECT_EQ(state().activity, activity);
    EXPECT_FALSE(state().errorMessage);
    EXPECT_EQ(state().refreshingSources, std::set{ReviewSource::messages});
    EXPECT_EQ(progress(ReviewSource::messages), newer);

    harness.settle();
    EXPECT_EQ(itemIDs(state().snapshot(ReviewSource::messages)), std::vector<std::string>{"c1"});
    EXPECT_TRUE(state().refreshingSources.empty());
}

TEST_F(RefreshRunTest, ASupersededGmailRunDropsItsLateProgressStatusAndModelReport) {
    modelFailsOn("t1");
    int runs = 0;
    harness.gmail->onRefresh = [&](LookbackWindow lookback, const GmailSource::Progress& report, std::stop_token) {
        if (++runs == 1) {
            report("Reading threads", 1, 3);  // the first run, long superseded
        }
        return batchOf({asking("t1", harnessNow().addingSeconds(-60), ReviewSource::gmail)}, lookback);
    };
    harness.buildAndStart();

    // Late progress: the first run's read reports after a newer run has begun.
    app().refresh(ReviewSource::gmail, LookbackWindow::seven);
    EXPECT_EQ(runUntilJob(), "Gmail refresh");
    app().cancelRefresh(ReviewSource::gmail);
    app().refresh(ReviewSource::gmail, LookbackWindow::seven);
    harness.queue.drain();
    harness.executor.runNext();
    harness.queue.drain();
    EXPECT_EQ(progress(ReviewSource::gmail), line(ReviewSource::gmail, "Starting Gmail refresh"));
    harness.settle();
    EXPECT_EQ(state().activity, "Gmail refreshed using the safe local fallback");

    // A late status: read before a disconnect-like cancel, delivered after it.
    harness.destroy();
    harness.buildAndStart();
    const GmailConnectionStatus before = state().gmailStatus;
    app().refresh(ReviewSource::gmail, LookbackWindow::seven);
    for (int step = 0; step < 5 && runUntilJob() != "Gmail status"; ++step) {
        harness.executor.runNext();
    }
    ASSERT_EQ(runUntilJob(), "Gmail status");
    harness.gmail->setStatus({.configured = true, .connected = true, .email = "stale@example.com"});
    harness.executor.runNext();  // the read is done; the run has not resumed yet
    app().cancelRefresh(ReviewSource::gmail);
    harness.settle();
    EXPECT_EQ(state().gmailStatus, before);
    EXPECT_FALSE(state().modelRuntimeIssue);
    EXPECT_FALSE(state().modelRuntimeDiagnosticCode);
    EXPECT_EQ(state().activity, "Ready");
    EXPECT_FALSE(state().errorMessage);
}

TEST_F(RefreshRunTest, TwoSourcesKeepTheirOwnLinesAndIssuesInSourceOrder) {
    harness.messages->onScan = [](LookbackWindow lookback, std::stop_token) {
        return batchOf({asking("c1")}, lookback);
    };
    harness.gmail->onRefresh = [](LookbackWindow, const GmailSource::Progress&, std::stop_token) -> ConversationBatch {
        throw UserFacingError("Gmail could not be reached.");
    };
    harness.buildAndStart();

    app().refreshAll(LookbackWindow::seven);
    EXPECT_EQ(state().activity, "Refreshing Messages and Gmail in parallel");
    harness.queue.drain();
    EXPECT_EQ(harness.executor.pendingLabels(), (std::vector<std::string>{"Messages scan", "Gmail refresh"}));
    const std::map<ReviewSource, RefreshProgress> lines{
        {ReviewSource::messages, line(ReviewSource::messages, "Opening the local Messages database")},
        {ReviewSource::gmail, line(ReviewSource::gmail, "Starting Gmail refresh")}};
    EXPECT_EQ(state().refreshProgressBySource, lines);

    // Gmail fails while Messages goes on with its own line.
    harness.executor.runNext();
    harness.executor.runNext();
    harness.queue.drain();
    EXPECT_EQ(state().refreshingSources, std::set{ReviewSource::messages});
    EXPECT_EQ(state().refreshProgressBySource, (std::map{*lines.find(ReviewSource::messages)}));
    EXPECT_EQ(state().activity, "Gmail refresh failed");
    EXPECT_EQ(state().errorMessage, "Gmail could not be reached.");
    harness.settle();
    EXPECT_TRUE(state().refreshingSources.empty());
    EXPECT_EQ(state().errorMessage, "Gmail could not be reached.");

    // A later Messages failure is listed first.
    harness.messages->onScan = [](LookbackWindow, std::stop_token) -> ConversationBatch {
        throw UserFacingError("The Messages database could not be opened.");
    };
    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    harness.settle();
    EXPECT_EQ(state().activity, "Messages refresh failed");
    EXPECT_EQ(state().errorMessage, "The Messages database could not be opened.\nGmail could not be reached.");

    // Starting a run clears only its own source's issue.
    harness.messages->onScan = [](LookbackWindow lookback, std::stop_token) { return batchOf({}, lookback); };
    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    EXPECT_EQ(state().errorMessage, "Gmail could not be reached.");
    harness.settle();
    EXPECT_EQ(state().activity, "Messages last refreshed at 12:00\u202FPM");
    EXPECT_EQ(state().errorMessage, "Gmail could not be reached.");
}

// A failed read keeps the previous snapshot, completion marks, token and file; a failed save shows the
// queue just made and says it was not saved, keeping the file and the token it was built with.
class RefreshFailureTest : public RefreshRunTest {
protected:
    std::string before;

    void SetUp() override {
        RefreshRunTest::SetUp();
        harness.saveSnapshot(ReviewSource::messages, savedQueue("kept"));
        harness.settings->setData(Keys::messagesContactsHistoryToken, "token-1");
        harness.settings->setStringArray(Keys::completedItems, {"kept"});
        harness.messages->onScan = [](LookbackWindow lookback, std::stop_token) {
            return batchOf({asking("kept"), asking("fresh")}, lookback);
        };
        harness.buildAndStart();
        before = fileBytes(ReviewSource::messages);
        harness.contacts->setHistoryToken("token-2");  // a successful run would store it
    }

    // Runs a Messages refresh up to its save, which happens inside `during`.
    template <typename During>
    void runFailing(During during) {
        app().refresh(ReviewSource::messages, LookbackWindow::seven);
        for (std::string label = runUntilJob(); !label.empty(); label = runUntilJob()) {
            harness.executor.runNext();
            if (label == "Messages classification") {
                break;
            }
        }
        during();
        harness.settle();
        EXPECT_EQ(state().completed, (std::unordered_set<std::string>{"kept"}));
        EXPECT_EQ(harness.settings->data(Keys::messagesContactsHistoryToken), "token-1");
        EXPECT_EQ(fileBytes(ReviewSource::messages), before);
        EXPECT_TRUE(state().refreshingSources.empty());
    }

    template <typename During>
    void expectFailedRun(const std::string& sentence, During during) {
        runFailing(during);
        EXPECT_EQ(state().activity, "Messages refresh failed");
        EXPECT_EQ(state().errorMessage, sentence);
        EXPECT_EQ(itemIDs(state().snapshot(ReviewSource::messages)), std::vector<std::string>{"kept"});
    }

    template <typename During>
    void expectUnsavedRun(const std::string& reason, During during) {
        runFailing(during);
        EXPECT_EQ(state().activity, "Messages refreshed with a warning");
        EXPECT_EQ(state().errorMessage, "The refreshed Messages queue is shown but was not saved. " + reason);
        std::vector<std::string> shown = itemIDs(state().snapshot(ReviewSource::messages));
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(shown, (std::vector<std::string>{"fresh", "kept"}));
    }
};

TEST_F(RefreshFailureTest, TheReaderThrowing) {
    harness.messages->onScan = [](LookbackWindow, std::stop_token) -> ConversationBatch {
        throw UserFacingError("The Messages database could not be opened.");
    };
    expectFailedRun("The Messages database could not be opened.", [] {});
}

TEST_F(RefreshFailureTest, ASaveBeyondTheFileSizeLimit) {
    expectUnsavedRun("Couldn't save \u201Cmessages-snapshot.json\u201D: The file is too large.", [&] {
        const FileSizeLimit limit(64);
        harness.queue.drain();
    });
    // The next save that goes through stores the queue and its token.
    harness.settle();
    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    harness.settle();
    EXPECT_EQ(state().errorMessage, std::nullopt);
    EXPECT_EQ(fileBytes(ReviewSource::messages), SnapshotStore::encode(*state().snapshot(ReviewSource::messages)));
    EXPECT_EQ(harness.settings->data(Keys::messagesContactsHistoryToken), "token-2");
}

TEST_F(RefreshFailureTest, AQueueThatCannotBeWrittenAsJson) {
    // A message dated after the year 9999 has no ISO 8601 form in the file.
    harness.messages->onScan = [](LookbackWindow lookback, std::stop_token) {
        return batchOf({asking("kept"), asking("fresh", Date::fromUnix(1e12))}, lookback);
    };
    expectUnsavedRun(
        "Couldn't save \u201Cmessages-snapshot.json\u201D: the queue holds a date or number that cannot be "
        "written.",
        [&] { harness.queue.drain(); });
}

TEST_F(RefreshFailureTest, ASaveWhereTheDataFolderCannotBeReached) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reaches every folder";
    }
    namespace fs = std::filesystem;
    expectUnsavedRun("Couldn't create the folder \u201Cdata\u201D: Permission was denied.", [&] {
        fs::permissions(harness.root.path(), fs::perms::owner_read | fs::perms::owner_write);
        harness.queue.drain();
        fs::permissions(harness.root.path(), fs::perms::owner_all);
    });
}

TEST_F(RefreshRunTest, AFirstRefreshThatCannotBeSavedIsShownAndSaysSo) {
    harness.messages->onScan = [](LookbackWindow lookback, std::stop_token) {
        return batchOf({asking("first")}, lookback);
    };
    harness.buildAndStart();
    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    for (std::string label = runUntilJob(); !label.empty(); label = runUntilJob()) {
        harness.executor.runNext();
        if (label == "Messages classification") {
            break;
        }
    }
    {
        const FileSizeLimit full(16);
        harness.queue.drain();
    }
    harness.settle();
    EXPECT_EQ(itemIDs(state().snapshot(ReviewSource::messages)), std::vector<std::string>{"first"});
    EXPECT_EQ(state().errorMessage,
              "The refreshed Messages queue is shown but was not saved. Couldn't save "
              "\u201Cmessages-snapshot.json\u201D: The file is too large.");
    EXPECT_FALSE(std::filesystem::exists(harness.snapshotFile(ReviewSource::messages)));
    EXPECT_FALSE(harness.settings->value(Keys::messagesContactsHistoryToken));
}

TEST_F(RefreshRunTest, AFailedContactsRequestIsShownAndAStaleOneIsNot) {
    harness.contacts->setStatus(ContactsAuthorizationStatus::notDetermined);
    harness.messages->onRequestContacts = [](std::stop_token) -> bool {
        throw UserFacingError("Your answer could not be stored.");
    };
    harness.buildAndStart();
    app().startRefresh(ReviewSource::messages, LookbackWindow::seven);
    harness.queue.drain();
    EXPECT_EQ(progress(ReviewSource::messages), line(ReviewSource::messages, "Requesting required Contacts access"));
    harness.settle();
    EXPECT_EQ(harness.messages->calls(), std::vector<std::string>{"requestContacts()"});
    EXPECT_EQ(state().errorMessage, "Contacts access failed: Your answer could not be stored.");

    app().dismissError();
    app().startRefresh(ReviewSource::messages, LookbackWindow::seven);
    harness.queue.drain();
    app().cancelRefresh(ReviewSource::messages);
    harness.settle();
    EXPECT_FALSE(state().errorMessage);
}

}  // namespace
}  // namespace nudgerly
