#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/RawEnum.h"
#include "modelpacks/ModelSelectionStore.h"
#include "platform/contacts/VCardContactsStore.h"
#include "platform/system/FileSettingsStore.h"
#include "state/AppStateSettings.h"
#include "support/AppStateHarness.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

using test::AppStateHarness;
using Status = ContactsAuthorizationStatus;
namespace Keys = AppStateSettings;

ReviewSnapshot savedQueue(std::string itemID) {
    ReviewSnapshot snapshot;
    snapshot.generatedAt = Date::fromUnix(1'773'100'000);
    snapshot.windowStart = snapshot.generatedAt.addingSeconds(-7 * 86'400.0);
    snapshot.windowEnd = snapshot.generatedAt;
    ReviewItem item;
    item.id = std::move(itemID);
    item.person = "Ann";
    item.isKnownContact = true;
    snapshot.items.push_back(item);
    return snapshot;
}

class AppStateStartUpTest : public ::testing::Test {
protected:
    AppStateHarness harness;

    // The state a returning user left: a model choice made, Contacts granted, both queues saved with
    // the current Contacts history token.
    void returningUser() { returningUser(*harness.settings); }
    void returningUser(SettingsStore& settings) {
        chooseBasicMode(settings);
        harness.contacts->setHistoryToken("token-1");
        settings.setData(Keys::messagesContactsHistoryToken, "token-1");
        harness.saveSnapshot(ReviewSource::messages, savedQueue("m1"));
        harness.saveSnapshot(ReviewSource::gmail, savedQueue("g1"));
    }

    void chooseBasicMode(SettingsStore& settings) const {
        settings.setString(ModelSelectionStore::selectedPackKey, defaultPack().identifier);
        settings.setString(Keys::modelChoiceVersion, Keys::currentModelChoiceVersion);
    }
    const ModelPack& defaultPack() const { return harness.catalog.packs[0]; }
    const ReviewSnapshot* messagesQueue() { return harness.app().state().snapshot(ReviewSource::messages); }
    bool messagesFileExists() const { return std::filesystem::exists(harness.snapshotFile(ReviewSource::messages)); }
};

TEST_F(AppStateStartUpTest, AFirstLaunchAsksForAModelChoiceAndKeepsEveryDefault) {
    harness.contacts->setStatus(Status::notDetermined);
    AppState& app = harness.build();
    const PublishedState& state = app.state();
    EXPECT_EQ(state.refreshLookbacks, (RefreshLookbacks{}));
    EXPECT_EQ(state.queueSort, QueueSort::priority);
    EXPECT_FALSE(state.contactsOnly);
    EXPECT_TRUE(state.completed.empty());
    EXPECT_TRUE(state.needsModelChoice);
    EXPECT_EQ(state.section, Section::accounts);
    EXPECT_EQ(state.activity, "Ready");
    EXPECT_FALSE(state.errorMessage);
    EXPECT_EQ(state.contactsPermission, ContactsPermission::notDetermined);
    EXPECT_EQ(state.selectedModelPack, defaultPack());
    EXPECT_EQ(state.modelPacks, harness.catalog.packs);
    EXPECT_EQ(state.modelDownloadState, ModelDownloadState::missing());
    EXPECT_FALSE(harness.settings->value(Keys::modelChoiceVersion));
    EXPECT_EQ(harness.settings->string(ModelSelectionStore::selectedPackKey),
              defaultPack().identifier);         // always written
    EXPECT_FALSE(app.pendingMessagesRebuild());  // never asked: nothing to rebuild yet
}

TEST_F(AppStateStartUpTest, LookbacksFallBackToTheOlderSingleSettingOneByOne) {
    harness.settings->setInteger(Keys::lookbackDays, 30);
    harness.settings->setInteger(Keys::lookbackDaysGmail, 5);  // not a lookback window
    harness.settings->setString(Keys::lookbackDaysMessages, "90");
    EXPECT_EQ(harness.build().state().refreshLookbacks, (RefreshLookbacks{.combined = LookbackWindow::thirty,
                                                                          .messages = LookbackWindow::ninety,
                                                                          .gmail = LookbackWindow::thirty}));

    harness.settings->setBool(Keys::lookbackDays, true);  // reads as 1 day: no window, so seven
    EXPECT_EQ(harness.build().state().refreshLookbacks.combined, LookbackWindow::seven);
    harness.settings->setInteger(Keys::lookbackDaysCombined, 1LL << 40);
    EXPECT_EQ(harness.build().state().refreshLookbacks.combined, LookbackWindow::seven);
}

TEST_F(AppStateStartUpTest, TheSortContactsOnlyAndCompletedMarksAreRestored) {
    harness.settings->setString(Keys::queueSort, "newest");
    harness.settings->setBool(Keys::contactsOnly, true);
    harness.settings->setStringArray(Keys::completedItems, {"completion-v1:aa", "m7"});
    const PublishedState& state = harness.build().state();
    EXPECT_EQ(state.queueSort, QueueSort::newest);
    EXPECT_TRUE(state.contactsOnly);
    EXPECT_EQ(state.completed, (std::unordered_set<std::string>{"completion-v1:aa", "m7"}));

    harness.settings->setString(Keys::queueSort, "alphabetical");
    EXPECT_EQ(harness.build().state().queueSort, QueueSort::priority);
}

TEST_F(AppStateStartUpTest, AnInstalledPackCompletesTheChoiceAndAStaleVersionDoesNot) {
    harness.install(harness.catalog.packs[0]);
    AppState& installed = harness.build();
    EXPECT_FALSE(installed.state().needsModelChoice);
    EXPECT_EQ(installed.state().modelDownloadState, ModelDownloadState::installed());
    EXPECT_EQ(harness.settings->string(Keys::modelChoiceVersion), Keys::currentModelChoiceVersion);

    // The version stands beside a pack the catalogue no longer has: the choice was for another
    // catalogue. The default pack is selected instead, and it is not installed here.
    std::filesystem::remove_all(harness.dataDirectory / "ModelPacks");
    harness.settings->setString(ModelSelectionStore::selectedPackKey, "retired-pack");
    AppState& stale = harness.build();
    EXPECT_TRUE(stale.state().needsModelChoice);
    EXPECT_EQ(stale.state().selectedModelPack, defaultPack());
    EXPECT_EQ(harness.settings->string(ModelSelectionStore::selectedPackKey), defaultPack().identifier);

    // The same with the default pack installed: the install makes the choice.
    harness.install(harness.catalog.packs[0]);
    harness.settings->setString(ModelSelectionStore::selectedPackKey, "retired-pack");
    EXPECT_FALSE(harness.build().state().needsModelChoice);
}

TEST_F(AppStateStartUpTest, ASavedMessagesQueueIsUsedOnlyWithTheContactsDataItWasBuiltWith) {
    returningUser();
    harness.contacts->setStatus(Status::limited);
    AppState& matching = harness.build();
    ASSERT_TRUE(matching.state().snapshot(ReviewSource::messages));
    EXPECT_EQ(matching.state().snapshot(ReviewSource::messages)->items[0].id, "m1");
    EXPECT_EQ(matching.state().section, Section::queue);
    EXPECT_FALSE(matching.pendingMessagesRebuild());

    // A store that keeps no history token cannot tell: the saved queue is used whatever is stored.
    harness.contacts->setHistoryToken(std::nullopt);
    harness.settings->setData(Keys::messagesContactsHistoryToken, "something else");
    EXPECT_TRUE(harness.build().state().snapshot(ReviewSource::messages));

    // The Contacts data moved on: the saved queue, its token and its file go, and a rebuild is due.
    harness.contacts->setHistoryToken("token-2");
    AppState& moved = harness.build();
    EXPECT_FALSE(moved.state().snapshot(ReviewSource::messages));
    EXPECT_TRUE(moved.state().snapshot(ReviewSource::gmail));
    EXPECT_FALSE(harness.settings->value(Keys::messagesContactsHistoryToken));
    EXPECT_FALSE(messagesFileExists());
    EXPECT_TRUE(moved.pendingMessagesRebuild());
}

TEST_F(AppStateStartUpTest, TheContactsTokenIsFirstWorkedOutOnAWorkerBeforeTheSavedQueueIsChecked) {
    returningUser();
    harness.construct();
    while (harness.executor.pending() < 2 && harness.queue.runOne()) {
    }
    EXPECT_EQ(harness.contacts->tokenRequests(), 0);
    harness.executor.runAll();  // the saved queues' reads, their results not yet taken up
    EXPECT_EQ(harness.contacts->tokenRequests(), 1);
    harness.settle();
    EXPECT_TRUE(harness.app().state().snapshot(ReviewSource::messages));
}

TEST_F(AppStateStartUpTest, WithoutContactsAccessTheMessagesQueueGoesButTheGmailQueueStays) {
    returningUser();
    harness.contacts->setStatus(Status::notDetermined);
    AppState& app = harness.build();
    EXPECT_FALSE(app.state().snapshot(ReviewSource::messages));
    EXPECT_FALSE(messagesFileExists());
    EXPECT_FALSE(app.pendingMessagesRebuild());
    EXPECT_EQ(app.state().section, Section::accounts);
    ASSERT_TRUE(app.state().snapshot(ReviewSource::gmail));
    EXPECT_EQ(app.state().snapshot(ReviewSource::gmail)->items[0].id, "g1");
}

TEST_F(AppStateStartUpTest, AMissingOrDamagedMessagesFileMeansARebuildWhileContactsAccessIsUsable) {
    returningUser();
    test::writeTestFile(harness.snapshotFile(ReviewSource::messages), "{\"items\": [");
    test::writeTestFile(harness.snapshotFile(ReviewSource::gmail), "not json at all");
    AppState& app = harness.build();
    EXPECT_FALSE(app.state().snapshot(ReviewSource::messages));
    EXPECT_FALSE(app.state().snapshot(ReviewSource::gmail));
    EXPECT_TRUE(app.pendingMessagesRebuild());
    EXPECT_FALSE(app.state().errorMessage);  // unreadable files count as absent, without a message
    EXPECT_EQ(app.state().activity, "Ready");
}

TEST_F(AppStateStartUpTest, DamagedSettingsAreToldOfOnceAndTheSavedQueueIsShownAndRebuilt) {
    returningUser();
    const auto settingsFile = harness.root.path() / "config" / "settings.json";
    test::writeTestFile(settingsFile, R"({"completed-items": ["m1")");
    harness.otherSettings = std::make_shared<FileSettingsStore>(settingsFile);
    AppState& app = harness.buildAndStart();

    // The token went with the settings: the queue is shown and rebuilt, its file kept.
    ASSERT_TRUE(app.state().snapshot(ReviewSource::messages));
    EXPECT_EQ(app.state().snapshot(ReviewSource::messages)->items[0].id, "m1");
    EXPECT_TRUE(messagesFileExists());
    EXPECT_TRUE(app.pendingMessagesRebuild());
    const auto aside = *harness.otherSettings->loadProblem();
    ASSERT_EQ(app.state().errorMessage, aside);
    EXPECT_NE(aside.find("kept aside as \u201C" + settingsFile.string() + ".corrupt-"), std::string::npos) << aside;

    // Told once: the next start finds the settings written afresh beside the file kept aside.
    app.dismissError();
    harness.otherSettings = std::make_shared<FileSettingsStore>(settingsFile);
    EXPECT_FALSE(harness.build().state().errorMessage);
}

TEST_F(AppStateStartUpTest, AfterDamagedSettingsTheSavedQueueOutlivesEveryStartUntilARefreshReplacesIt) {
    returningUser();
    const auto settingsFile = harness.root.path() / "config" / "settings.json";
    test::writeTestFile(settingsFile, R"({"completed-items": ["m1")");
    // The model choice went with the settings, so the rebuild waits for it, and the user quits meanwhile.
    for (int start = 1; start <= 3; ++start) {
        harness.otherSettings = std::make_shared<FileSettingsStore>(settingsFile);
        AppState& app = harness.buildAndStart();
        ASSERT_TRUE(messagesQueue()) << "start " << start;
        EXPECT_EQ(messagesQueue()->items[0].id, "m1");
        EXPECT_TRUE(app.pendingMessagesRebuild());
        EXPECT_TRUE(messagesFileExists());
        harness.destroy();
    }

    // Once the choice is made the rebuild replaces the queue, and from then on the token rules again.
    harness.otherSettings = std::make_shared<FileSettingsStore>(settingsFile);
    chooseBasicMode(*harness.otherSettings);
    harness.messages->onScan = [](LookbackWindow lookback, std::stop_token) {
        ConversationBatch batch{.generatedAt = Date::fromUnix(1'773'100'000), .lookbackDays = toRaw(lookback)};
        batch.conversations.push_back(
            {.id = "m2", .person = "Bo", .messages = {{.text = "Can you call me?", .date = batch.generatedAt}}});
        return batch;
    };
    harness.buildAndStart();
    harness.queue.advance(std::chrono::milliseconds(300));
    harness.settle();
    ASSERT_TRUE(messagesQueue());
    EXPECT_EQ(messagesQueue()->items.at(0).id, "m2");
    harness.destroy();
    harness.contacts->setHistoryToken("token-2");
    harness.otherSettings = std::make_shared<FileSettingsStore>(settingsFile);
    harness.buildAndStart();
    EXPECT_FALSE(messagesQueue());
    EXPECT_FALSE(messagesFileExists());
}

TEST_F(AppStateStartUpTest, AfterADamagedContactsAnswerTheSavedQueueOutlivesEveryStartUntilAccessIsGiven) {
    const auto configuration = harness.root.path() / "config";
    const auto cards = harness.root.path() / "contacts";
    std::filesystem::create_directories(cards);
    const auto settingsFile = configuration / "settings.json";
    returningUser(*std::make_shared<FileSettingsStore>(settingsFile));
    test::writeTestFile(configuration / "contacts-access.json", "{\"status\": ");
    const auto startOver = [&] {
        harness.otherSettings = std::make_shared<FileSettingsStore>(settingsFile);
        harness.otherContactsStore = std::make_shared<VCardContactsStore>(cards, configuration, harness.queue, nullptr);
        return std::ref(harness.buildAndStart());
    };
    // The first start sets the answer aside; the later ones find access never asked.
    for (int start = 1; start <= 3; ++start) {
        startOver();
        EXPECT_FALSE(messagesQueue()) << "start " << start;  // nothing is shown without access
        EXPECT_TRUE(messagesFileExists()) << "start " << start;
        harness.destroy();
    }

    // Access given again: the queue comes back, to be rebuilt with the Contacts data of now.
    test::writeTestFile(configuration / "contacts-access.json", R"({"status": "authorized"})");
    AppState& app = startOver();
    ASSERT_TRUE(messagesQueue());
    EXPECT_EQ(messagesQueue()->items[0].id, "m1");
    EXPECT_TRUE(app.pendingMessagesRebuild());
}

TEST_F(AppStateStartUpTest, AHeavyUsersFiftyThousandCompletionMarksAreKeptWithTheOtherSettings) {
    const auto settingsFile = harness.root.path() / "config" / "settings.json";
    {
        FileSettingsStore settings(settingsFile);
        returningUser(settings);
        settings.setInteger(Keys::lookbackDaysMessages, 30);
        std::vector<std::string> marks;
        for (int mark = 0; mark < 50'000; ++mark) {
            char key[80];
            std::snprintf(key, sizeof key, "completion-v1:%064x", mark);
            marks.emplace_back(key);
        }
        settings.setStringArray(Keys::completedItems, marks);
    }
    harness.otherSettings = std::make_shared<FileSettingsStore>(settingsFile);
    AppState& app = harness.build();
    EXPECT_EQ(app.state().completed.size(), 50'000u);
    EXPECT_FALSE(app.state().errorMessage);
    app.toggleCompleted(messagesQueue()->items.at(0));
    harness.destroy();

    harness.otherSettings = std::make_shared<FileSettingsStore>(settingsFile);
    AppState& again = harness.build();
    EXPECT_EQ(again.state().completed.size(), 50'001u);
    EXPECT_TRUE(again.state().completed.contains("m1"));
    EXPECT_TRUE(again.state().completed.contains("completion-v1:" + std::string(59, '0') + "0c34f"));
    EXPECT_EQ(again.state().refreshLookbacks.messages, LookbackWindow::thirty);
    EXPECT_FALSE(again.state().needsModelChoice);
    EXPECT_FALSE(again.state().errorMessage);
}

TEST_F(AppStateStartUpTest, ADamagedContactsAnswerKeepsTheSavedQueueUntilAccessIsGivenAgain) {
    returningUser();
    harness.contacts->setStatus(Status::notDetermined);
    const std::string sentence = "Nudgerly's Contacts access file was damaged, so it was kept aside.";
    harness.contacts->setDecisionProblem(sentence);
    harness.messages->onRequestContacts = [contacts = harness.contacts](std::stop_token stop) {
        return contacts->requestAccess(stop);
    };
    AppState& app = harness.buildAndStart();
    EXPECT_EQ(app.state().errorMessage, sentence);
    EXPECT_FALSE(app.state().snapshot(ReviewSource::messages));  // nothing is shown without access
    EXPECT_TRUE(messagesFileExists());
    EXPECT_EQ(harness.settings->data(Keys::messagesContactsHistoryToken), "token-1");

    app.requestContacts();
    harness.settle();
    ASSERT_TRUE(app.state().snapshot(ReviewSource::messages));
    EXPECT_EQ(app.state().snapshot(ReviewSource::messages)->items[0].id, "m1");
    EXPECT_TRUE(app.pendingMessagesRebuild());

    // Denied instead, the queue goes as it would have.
    harness.contacts->setStatus(Status::notDetermined);
    harness.contacts->setAnswer(Status::denied);
    AppState& denied = harness.buildAndStart();
    denied.requestContacts();
    harness.settle();
    EXPECT_FALSE(denied.state().snapshot(ReviewSource::messages));
    EXPECT_FALSE(messagesFileExists());
}

TEST_F(AppStateStartUpTest, ADataFolderLinkedToAnotherUsersFolderIsRefusedWithASentence) {
    returningUser();
    const auto theirs = harness.root.path() / "theirs";
    if (!test::makeOtherUsersFolder(theirs)) {
        GTEST_SKIP() << "only root can make a folder of another user";
    }
    std::filesystem::rename(harness.snapshotFile(ReviewSource::messages), theirs / "messages-snapshot.json");
    std::filesystem::remove_all(harness.dataDirectory);
    std::filesystem::create_directory_symlink(theirs, harness.dataDirectory);
    AppState& app = harness.build();
    EXPECT_EQ(app.state().errorMessage, "Nudgerly won't use the folder \u201C" + harness.dataDirectory.string() +
                                            "\u201D: It is a link to a folder that belongs to another user.");
    EXPECT_FALSE(app.state().snapshot(ReviewSource::messages));
    EXPECT_TRUE(std::filesystem::exists(theirs / "messages-snapshot.json"));  // not deleted there either
}

TEST_F(AppStateStartUpTest, TheStartTaskReadsGmailAndLocalAIThenRoutesToTheAccountsPage) {
    returningUser();
    harness.messagesPermission = MessagesPermission::denied;
    harness.gmail->setStatus({.configured = true});
    AppState& app = harness.build();
    EXPECT_EQ(app.state().section, Section::queue);
    EXPECT_EQ(app.state().messagesPermission, MessagesPermission::denied);
    app.start();
    EXPECT_EQ(app.state().gmailStatus, GmailConnectionStatus{});  // nothing read yet
    harness.settle();
    EXPECT_EQ(app.state().gmailStatus, (GmailConnectionStatus{.configured = true}));
    EXPECT_EQ(app.state().modelAvailability, ModelAvailability::missing());
    EXPECT_EQ(app.state().section, Section::accounts);  // nothing can be read: no Full Disk Access, no Gmail

    harness.gmail->setStatus({.configured = true, .connected = true, .email = "ann@example.com"});
    harness.localModel->setAvailability(ModelAvailability::bundled());
    AppState& connected = harness.buildAndStart();
    EXPECT_EQ(connected.state().gmailStatus.email, "ann@example.com");
    EXPECT_EQ(connected.state().modelAvailability, ModelAvailability::bundled());
    EXPECT_EQ(connected.state().section, Section::queue);
}

TEST_F(AppStateStartUpTest, TheContactsGracePeriodRunsFiveSecondsOnTheSteadyClockFromCreation) {
    harness.queue.advance(std::chrono::seconds(42));
    AppState& app = harness.build();
    EXPECT_EQ(app.contactsLaunchNotificationDeadline(), harness.queue.steadyNow() + std::chrono::seconds(5));
}

TEST_F(AppStateStartUpTest, ForgettingTheMessagesQueueMovesTheSelectionToWhatIsStillVisible) {
    returningUser();
    AppState& app = harness.build();
    app.setSelectedItemID("m1");
    app.invalidateMessagesSnapshot();
    EXPECT_EQ(app.state().selectedItemID, "g1");
    EXPECT_FALSE(messagesFileExists());
    app.invalidateMessagesSnapshot();  // no file left: nothing to report
    EXPECT_EQ(app.state().selectedItemID, "g1");

    app.setSelectedItemID("g1");
    app.reconcileSelection();
    EXPECT_EQ(app.state().selectedItemID, "g1");
    app.setSearch("nobody has this");
    app.reconcileSelection();
    EXPECT_FALSE(app.state().selectedItemID);
}

TEST_F(AppStateStartUpTest, TheWindowHearsStartUpsChangesInOneNotification) {
    returningUser();
    AppState& app = harness.build();
    std::vector<StateFieldSet> heard;
    const auto token = app.observe([&](const StateFieldSet& changed) { heard.push_back(changed); });
    app.start();
    harness.settle();
    ASSERT_FALSE(heard.empty());
    EXPECT_TRUE(heard.front().contains(StateField::snapshots));  // the loaded queues
    EXPECT_TRUE(std::ranges::any_of(heard, [](const auto& set) { return set.contains(StateField::gmailStatus); }));
}

TEST(SourceRefreshResultTests, TheUserWarningJoinsTheSourcesWarningAndTheModelIssue) {
    EXPECT_EQ((SourceRefreshResult{}.userWarning()), std::nullopt);
    EXPECT_EQ((SourceRefreshResult{.sourceWarning = "2 threads failed"}.userWarning()), "2 threads failed");
    EXPECT_EQ((SourceRefreshResult{.modelIssue = "Local AI stopped"}.userWarning()), "Local AI stopped");
    EXPECT_EQ(
        (SourceRefreshResult{.sourceWarning = "2 threads failed", .modelIssue = "Local AI stopped"}.userWarning()),
        "2 threads failed\nLocal AI stopped");
}

}  // namespace
}  // namespace nudgerly
