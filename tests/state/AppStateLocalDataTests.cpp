#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "modelpacks/ModelSelectionStore.h"
#include "state/AppStateSettings.h"
#include "statefakes/StateFixtures.h"
#include "support/AppStateHarness.h"

namespace nudgerly {
namespace {

using test::AppStateHarness;
namespace Keys = AppStateSettings;
namespace fs = std::filesystem;

ReviewSnapshot savedQueue(ReviewSource source) {
    const Date now = test::fixtureNow();
    return *test::fixtureSnapshot(source, now, test::fixtureItems(source, now));
}

std::vector<std::string> entriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    return names;
}

// A returning user with an installed model, both queues saved, Gmail connected, a completed item, an
// OAuth client file and something else of ours in the data folder, and every setting written.
class AppStateLocalDataTest : public ::testing::Test {
protected:
    AppStateLocalDataTest() {
        harness.install(harness.catalog.packs[0]);
        harness.contacts->setHistoryToken("token-1");
        harness.settings->setData(Keys::messagesContactsHistoryToken, "token-1");
        harness.saveSnapshot(ReviewSource::messages, savedQueue(ReviewSource::messages));
        harness.saveSnapshot(ReviewSource::gmail, savedQueue(ReviewSource::gmail));
        test::writeTestFile(harness.dataDirectory / "google-oauth-client.json", "{}");
        test::writeTestFile(harness.dataDirectory / "leftovers" / "notes.txt", "x");
        harness.settings->setStringArray(Keys::completedItems, {"m1"});
        harness.settings->setInteger(Keys::lookbackDays, 30);
        harness.settings->setInteger(Keys::lookbackDaysCombined, 30);
        harness.settings->setInteger(Keys::lookbackDaysMessages, 60);
        harness.settings->setInteger(Keys::lookbackDaysGmail, 90);
        harness.settings->setString(Keys::queueSort, "newest");
        harness.settings->setBool(Keys::contactsOnly, true);
        harness.gmail->setStatus({.configured = true, .connected = true, .email = "person@example.com"});
    }

    AppState& start() {
        AppState& app = harness.buildAndStart();
        app.setSearch("ann");
        app.setStatusFilter(ReviewStatus::reply);
        return app;
    }
    const PublishedState& state() { return harness.app().state(); }

    AppStateHarness harness;
};

TEST_F(AppStateLocalDataTest, EverythingButTheModelPacksAndTheSettingsGoes) {
    AppState& app = start();
    ASSERT_EQ(state().snapshots.size(), 2u);
    const auto keptKeys = {Keys::lookbackDays,
                           Keys::lookbackDaysCombined,
                           Keys::lookbackDaysMessages,
                           Keys::lookbackDaysGmail,
                           Keys::queueSort,
                           Keys::contactsOnly,
                           Keys::modelChoiceVersion,
                           std::string_view(ModelSelectionStore::selectedPackKey)};
    std::map<std::string_view, std::optional<std::string>> before;
    for (const auto key : keptKeys) {
        ASSERT_TRUE(harness.settings->value(key)) << key;
        before[key] = harness.settings->value(key)->dump();
    }

    app.deleteLocalData();
    EXPECT_TRUE(state().isDeletingLocalData);
    EXPECT_TRUE(app.isRefreshing());
    EXPECT_EQ(state().activity, "Deleting local Nudgerly data");
    harness.settle();

    EXPECT_FALSE(state().isDeletingLocalData);
    EXPECT_EQ(state().activity, "Local Nudgerly data deleted");
    EXPECT_FALSE(state().errorMessage);
    EXPECT_EQ(entriesOf(harness.dataDirectory), std::vector<std::string>{"ModelPacks"});
    EXPECT_TRUE(state().snapshots.empty());
    EXPECT_TRUE(state().completed.empty());
    EXPECT_EQ(state().completionScope, QueueCompletionScope::open);
    EXPECT_EQ(state().search, "");
    EXPECT_FALSE(state().statusFilter);
    EXPECT_FALSE(state().selectedItemID);
    EXPECT_EQ(state().gmailStatus, (GmailConnectionStatus{.configured = true}));
    EXPECT_EQ(state().modelDownloadState, ModelDownloadState::installed());
    EXPECT_EQ(harness.localModel->shutdownCount(), 1);
    EXPECT_FALSE(harness.settings->value(Keys::completedItems));
    EXPECT_FALSE(harness.settings->value(Keys::messagesContactsHistoryToken));
    for (const auto key : keptKeys) {
        ASSERT_TRUE(harness.settings->value(key)) << key;
        EXPECT_EQ(harness.settings->value(key)->dump(), before[key]) << key;
    }
    const auto calls = harness.gmail->calls();
    const std::vector<std::string> tail(calls.end() - 4, calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"disconnect()", "hasStoredTokens()", "reloadClientConfiguration()",
                                              "status()"}));

    // Without model packs nothing of the folder is left.
    fs::remove_all(harness.dataDirectory / "ModelPacks");
    test::writeTestFile(harness.dataDirectory / "gmail-snapshot.json", "{}");
    app.deleteLocalData();
    harness.settle();
    EXPECT_FALSE(fs::exists(harness.dataDirectory));
}

TEST_F(AppStateLocalDataTest, IsRefusedWhileAnotherLongOperationRuns) {
    AppState& app = start();
    const std::string refusal =
        "Wait for the current refresh or Local AI model operation to finish before deleting local data.";
    const auto refused = [&] {
        app.dismissError();
        app.deleteLocalData();
        const bool wasRefused = state().errorMessage == refusal && !state().isDeletingLocalData;
        harness.settle();
        return wasRefused;
    };

    app.refresh(ReviewSource::messages, LookbackWindow::seven);
    EXPECT_TRUE(refused());
    app.connectGmail();
    EXPECT_TRUE(refused());
    app.disconnectGmail();
    EXPECT_TRUE(refused());
    app.selectModelPack(harness.catalog.packs[1].identifier);
    EXPECT_TRUE(refused());
    app.removeLocalModel();
    EXPECT_TRUE(refused());

    app.deleteLocalData();
    app.deleteLocalData();
    EXPECT_EQ(state().errorMessage, refusal);
    harness.settle();
    EXPECT_EQ(harness.localModel->shutdownCount(), 2);  // the removal's and one deletion's
    EXPECT_FALSE(fs::exists(harness.snapshotFile(ReviewSource::gmail)));
}

TEST_F(AppStateLocalDataTest, AFolderThatCannotBeClearedKeepsTheQueueAndSaysSo) {
    AppState& app = start();
    const auto selected = state().selectedItemID;
    // The data folder is no folder at all, so it cannot even be listed, whoever runs the test.
    fs::remove_all(harness.dataDirectory);
    test::writeTestFile(harness.dataDirectory, "not a folder");
    app.deleteLocalData();
    harness.settle();

    EXPECT_EQ(state().activity, "Some local data could not be deleted");
    ASSERT_TRUE(state().errorMessage);
    EXPECT_EQ(state().errorMessage->rfind("Nudgerly disconnected Gmail, but could not remove all cached data: ", 0), 0u)
        << *state().errorMessage;
    EXPECT_EQ(state().snapshots.size(), 2u);
    EXPECT_EQ(state().search, "ann");
    EXPECT_EQ(state().statusFilter, ReviewStatus::reply);
    EXPECT_EQ(harness.settings->data(Keys::messagesContactsHistoryToken), "token-1");
    EXPECT_TRUE(state().completed.empty());  // forgotten before the files
    EXPECT_FALSE(state().gmailStatus.connected);
    EXPECT_FALSE(state().isDeletingLocalData);
}

TEST_F(AppStateLocalDataTest, AnEntryWithoutWritePermissionFailsTheDeletion) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    test::writeTestFile(harness.dataDirectory / "locked" / "inside.json", "{}");
    AppState& app = start();
    fs::permissions(harness.dataDirectory / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    app.deleteLocalData();
    harness.settle();
    fs::permissions(harness.dataDirectory / "locked", fs::perms::owner_all);
    EXPECT_EQ(state().activity, "Some local data could not be deleted");
    ASSERT_TRUE(state().errorMessage);
    EXPECT_NE(state().errorMessage->find("\u201Clocked\u201D"), std::string::npos) << *state().errorMessage;
    EXPECT_EQ(state().snapshots.size(), 2u);
}

TEST_F(AppStateLocalDataTest, GmailTokensThatSurviveTheDisconnectAreAFailure) {
    harness.gmail->failTokenRemoval = true;
    AppState& app = start();
    app.deleteLocalData();
    harness.settle();
    EXPECT_EQ(state().activity, "Some local data could not be deleted");
    EXPECT_EQ(state().errorMessage,
              "Nudgerly disconnected Gmail, but could not remove all cached data: "
              "The stored Gmail tokens could not be deleted.");
    EXPECT_EQ(entriesOf(harness.dataDirectory), std::vector<std::string>{"ModelPacks"});  // the files still went
    EXPECT_FALSE(state().isDeletingLocalData);
}

TEST_F(AppStateLocalDataTest, NoRefreshStartsWhileTheDeletionRuns) {
    AppState& app = start();
    const auto scansBefore = harness.messages->calls().size();
    app.deleteLocalData();
    app.refresh(ReviewSource::messages, LookbackWindow::seven);
    app.refresh(ReviewSource::gmail, LookbackWindow::seven);
    app.refreshAll(LookbackWindow::seven);
    app.refreshCurrentView();
    app.setLookback(LookbackWindow::ninety);  // a re-check that would expand the queue
    EXPECT_TRUE(state().refreshingSources.empty());
    EXPECT_EQ(state().activity, "Deleting local Nudgerly data");
    harness.settle();
    EXPECT_EQ(state().activity, "Local Nudgerly data deleted");
    EXPECT_EQ(harness.messages->calls().size(), scansBefore);
    EXPECT_FALSE(fs::exists(harness.snapshotFile(ReviewSource::messages)));
    EXPECT_FALSE(fs::exists(harness.snapshotFile(ReviewSource::gmail)));
}

}  // namespace
}  // namespace nudgerly
