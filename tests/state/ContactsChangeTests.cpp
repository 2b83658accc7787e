#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ReturningUserTest.h"
#include "chatdb/VCardWriter.h"
#include "core/Files.h"
#include "core/UserFacingError.h"
#include "platform/contacts/VCardContactsStore.h"
#include "storage/SnapshotStore.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

using namespace test;
using namespace std::chrono_literals;
using Status = ContactsAuthorizationStatus;
namespace Keys = AppStateSettings;

const std::string rebuilding = "Rebuilding Messages with current Contacts access";

using ContactsChangeTest = ReturningUserTest;

TEST_F(ContactsChangeTest, InTheGracePeriodAnUnchangedPermissionIsIgnoredOnlyWhileAMessagesQueueIsSaved) {
    harness.buildAndStart();
    wait(2s);
    contactsChange();
    EXPECT_EQ(app().contactsRevision(), 0);
    EXPECT_EQ(state().activity, "Ready");
    EXPECT_TRUE(state().snapshot(ReviewSource::messages));

    // Without a saved queue there is nothing the notification could be confirming.
    app().invalidateMessagesSnapshot();
    contactsChange();
    EXPECT_EQ(app().contactsRevision(), 1);
    EXPECT_TRUE(app().pendingMessagesRebuild());
    EXPECT_EQ(state().activity, "Contacts changed; rebuilding the Messages queue");
    wait(299ms);
    EXPECT_TRUE(scans(*harness.messages).empty());
    wait(1ms);
    EXPECT_EQ(scans(*harness.messages), std::vector<std::string>{"scan(7)"});
    EXPECT_FALSE(app().pendingMessagesRebuild());
    EXPECT_TRUE(state().snapshot(ReviewSource::messages));

    // A permission that moved is heard even in the grace period, and so is anything after it.
    harness.contacts->setStatus(Status::limited);
    contactsChange();
    EXPECT_EQ(app().contactsRevision(), 2);
    EXPECT_EQ(state().activity, "Limited Contacts access changed");
    wait(300ms);
    pastGracePeriod();
    contactsChange();
    EXPECT_EQ(app().contactsRevision(), 3);
    EXPECT_FALSE(state().snapshot(ReviewSource::messages));
    EXPECT_FALSE(std::filesystem::exists(harness.snapshotFile(ReviewSource::messages)));
    EXPECT_FALSE(harness.settings->value(Keys::messagesContactsHistoryToken));
}

TEST_F(ContactsChangeTest, ABurstOfChangesStartsOneRebuildAFifthOfASecondAndABitAfterTheLast) {
    harness.buildAndStart();
    pastGracePeriod();
    contactsChange();
    wait(200ms);
    contactsChange();
    wait(200ms);
    harness.contacts->setStatus(Status::limited);
    contactsChange();
    EXPECT_EQ(app().contactsRevision(), 3);
    wait(299ms);
    EXPECT_TRUE(scans(*harness.messages).empty());
    EXPECT_EQ(state().activity, "Limited Contacts access changed");
    wait(1ms);
    EXPECT_EQ(scans(*harness.messages), std::vector<std::string>{"scan(7)"});
    EXPECT_NE(state().activity, "Limited Contacts access changed");  // the rebuild said so, then finished
    wait(2s);
    EXPECT_EQ(scans(*harness.messages).size(), 1u);
}

TEST_F(ContactsChangeTest, AChangeDuringAMessagesRunCancelsItSilentlyAndRebuildsWithTheCurrentLookback) {
    harness.settings->setInteger(Keys::lookbackDaysMessages, 60);
    harness.buildAndStart();
    pastGracePeriod();
    const std::string savedBytes = readFile(harness.snapshotFile(ReviewSource::messages));
    app().refresh(ReviewSource::messages, LookbackWindow::thirty);
    harness.queue.drain();
    ASSERT_EQ(harness.executor.pendingLabels(), std::vector<std::string>{"Messages scan"});

    contactsChange();
    EXPECT_TRUE(state().refreshingSources.empty());
    harness.settle();  // the cancelled run's scan comes back and is dropped
    EXPECT_FALSE(state().errorMessage);
    EXPECT_FALSE(std::filesystem::exists(harness.snapshotFile(ReviewSource::messages)));
    EXPECT_EQ(state().activity, "Contacts changed; rebuilding the Messages queue");

    wait(300ms);
    EXPECT_EQ(scans(*harness.messages), (std::vector<std::string>{"scan(30)", "scan(60)"}));
    EXPECT_TRUE(std::filesystem::exists(harness.snapshotFile(ReviewSource::messages)));
    EXPECT_NE(readFile(harness.snapshotFile(ReviewSource::messages)), savedBytes);
    EXPECT_FALSE(state().errorMessage);
}

TEST_F(ContactsChangeTest, TheRebuildWaitsWhileSomethingStandsInItsWayAndRunsWhenALaterCallFindsItClear) {
    // No Full Disk Access: the change is remembered, nothing is announced.
    harness.messagesPermission = MessagesPermission::denied;
    harness.buildAndStart();
    pastGracePeriod();
    contactsChange();
    wait(1s);
    EXPECT_TRUE(app().pendingMessagesRebuild());
    EXPECT_TRUE(scans(*harness.messages).empty());
    harness.messagesPermission = MessagesPermission::granted;
    app().appDidBecomeActive();
    app().schedulePendingMessagesRebuild();
    wait(300ms);
    EXPECT_EQ(scans(*harness.messages), std::vector<std::string>{"scan(7)"});

    // A model choice still to be made: making it lets the rebuild go.
    harness.settings->remove(Keys::modelChoiceVersion);
    harness.buildAndStart();
    pastGracePeriod();
    contactsChange();
    wait(1s);
    EXPECT_EQ(scans(*harness.messages).size(), 1u);
    EXPECT_TRUE(app().pendingMessagesRebuild());
    app().continueInBasicMode();
    wait(300ms);
    EXPECT_EQ(scans(*harness.messages).size(), 2u);

    // While local data are being deleted, no rebuild is announced; the deletion drops it.
    harness.buildAndStart();
    pastGracePeriod();
    app().deleteLocalData();
    harness.queue.drain();
    ASSERT_TRUE(state().isDeletingLocalData);
    contactsChange();
    harness.queue.advance(1s);
    EXPECT_NE(state().activity, rebuilding);
    harness.settle();
    wait(1s);
    EXPECT_EQ(scans(*harness.messages).size(), 2u);
    EXPECT_FALSE(app().pendingMessagesRebuild());

    // Once quitting has begun, no rebuild is announced any more.
    harness.buildAndStart();
    pastGracePeriod();
    const std::size_t scanned = scans(*harness.messages).size();
    app().shutdownForTermination([] {});
    contactsChange();
    wait(1s);
    EXPECT_NE(state().activity, rebuilding);
    EXPECT_EQ(scans(*harness.messages).size(), scanned);
}

TEST_F(ContactsChangeTest, ARebuildThatFindsMessagesRefreshingLeavesItToThatRunsCleanUp) {
    harness.buildAndStart();
    pastGracePeriod();
    contactsChange();
    app().refreshAll(LookbackWindow::seven);  // Messages starts at once and takes the pending rebuild with it
    EXPECT_FALSE(app().pendingMessagesRebuild());
    wait(1s);
    EXPECT_EQ(scans(*harness.messages), std::vector<std::string>{"scan(7)"});
    EXPECT_NE(state().activity, rebuilding);
}

class PruningTest : public ContactsChangeTest {
protected:
    void SetUp() override {
        readyUser(harness);
        harness.settings->setData(Keys::messagesContactsHistoryToken, "token-1");
        ReviewSnapshot saved = savedQueue("m1");
        saved.items.push_back(savedQueue("m2").items[0]);
        harness.saveSnapshot(ReviewSource::messages, saved);
    }
    std::vector<std::string> messagesIDs() {
        std::vector<std::string> ids;
        for (const ReviewItem& item : state().snapshot(ReviewSource::messages)->items) {
            ids.push_back(item.id);
        }
        return ids;
    }
    // The database no longer has the latest message of `deleted`.
    void deletedInTheDatabase(std::string deleted) {
        harness.messages->onRemovingDeletedMessages = [deleted](const ReviewSnapshot& snapshot, std::stop_token) {
            ReviewSnapshot pruned = snapshot;
            std::erase_if(pruned.items, [&](const ReviewItem& item) { return item.id == deleted; });
            return pruned;
        };
    }
};

TEST_F(PruningTest, NothingDeletedWritesNoFileAndKeepsTheSelection) {
    harness.buildAndStart();
    EXPECT_EQ(harness.messages->calls(), std::vector<std::string>{"removingDeletedMessages(2)"});
    app().setSelectedItemID("m2");
    writeTestFile(harness.snapshotFile(ReviewSource::messages), "left alone");
    app().appDidBecomeActive();
    harness.settle();
    EXPECT_EQ(harness.messages->calls().size(), 2u);
    EXPECT_EQ(readFile(harness.snapshotFile(ReviewSource::messages)), "left alone");
    EXPECT_EQ(state().selectedItemID, "m2");

    // A reader that cannot open the database changes nothing either, and says nothing.
    harness.messages->onRemovingDeletedMessages = [](const ReviewSnapshot&, std::stop_token) -> ReviewSnapshot {
        throw UserFacingError("The Messages database could not be opened.");
    };
    app().appDidBecomeActive();
    harness.settle();
    EXPECT_EQ(messagesIDs(), (std::vector<std::string>{"m1", "m2"}));
    EXPECT_FALSE(state().errorMessage);
}

TEST_F(PruningTest, ADeletedMessageRewritesTheFileAndMovesTheSelection) {
    AppState& app = harness.buildAndStart();
    app.setSelectedItemID("m2");
    deletedInTheDatabase("m2");
    app.appDidBecomeActive();
    harness.settle();
    EXPECT_EQ(messagesIDs(), std::vector<std::string>{"m1"});
    EXPECT_EQ(readFile(harness.snapshotFile(ReviewSource::messages)),
              SnapshotStore::encode(*state().snapshot(ReviewSource::messages)));
    EXPECT_EQ(state().selectedItemID, "m1");
}

TEST_F(PruningTest, WithoutFullDiskAccessNothingIsPrunedUntilActivationFindsItGranted) {
    harness.messagesPermission = MessagesPermission::denied;
    deletedInTheDatabase("m1");
    harness.buildAndStart();
    app().appDidBecomeActive();
    harness.settle();
    EXPECT_TRUE(harness.messages->calls().empty());
    EXPECT_EQ(messagesIDs(), (std::vector<std::string>{"m1", "m2"}));

    harness.messagesPermission = MessagesPermission::granted;
    app().appDidBecomeActive();
    EXPECT_EQ(state().messagesPermission, MessagesPermission::granted);
    harness.settle();
    EXPECT_EQ(messagesIDs(), std::vector<std::string>{"m2"});
}

TEST_F(PruningTest, APruneThatComesBackAfterANewerQueueWasPublishedIsDropped) {
    harness.messages->onScan = [](LookbackWindow lookback, std::stop_token) {
        return batchOf({asking("fresh")}, lookback);
    };
    harness.buildAndStart();
    deletedInTheDatabase("m1");
    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    harness.queue.drain();
    harness.executor.runNext();
    harness.queue.drain();
    app().appDidBecomeActive();  // prunes the queue that the refresh is about to replace
    harness.queue.drain();
    ASSERT_EQ(harness.executor.pendingLabels(),
              (std::vector<std::string>{"Messages classification", "Deleted messages pruning"}));
    harness.settle();
    EXPECT_EQ(messagesIDs(), std::vector<std::string>{"fresh"});
    EXPECT_EQ(readFile(harness.snapshotFile(ReviewSource::messages)),
              SnapshotStore::encode(*state().snapshot(ReviewSource::messages)));
}

// The program's own Contacts store over a folder of cards, watched with inotify, in real time.
TEST(ContactsChangeWithTheRealStoreTest, EditingACardReachesTheStateObjectAndRebuildsMessages) {
    AppStateHarness harness;
    readyUser(harness);
    const auto cards = harness.root.path() / "contacts";
    const auto configuration = harness.root.path() / "config";
    writeVCards(cards, {{.identifier = "kim", .givenName = "Kim", .familyName = "Lee", .phoneNumbers = {"+15550101"}}});
    writeTestFile(configuration / "contacts-access.json", R"({"status": "authorized"})");
    VCardContactsStore::Limits limits;
    limits.watching.quietPeriod = 50ms;
    const auto store = std::make_shared<VCardContactsStore>(cards, configuration, harness.queue, nullptr, limits);
    harness.otherContactsStore = store;
    // The reader names the conversation as the address book does now.
    harness.messages->onScan = [store](LookbackWindow lookback, std::stop_token stop) {
        Conversation conversation = asking("chat-1");
        conversation.person = store->fetchContacts(stop).contacts.at(0).givenName;
        return batchOf({conversation}, lookback);
    };
    const auto person = [&] { return harness.app().state().snapshot(ReviewSource::messages)->items.at(0).person; };

    AppState& app = harness.buildAndStart();  // no saved queue: it is built once the rebuild delay passed
    harness.queue.advance(300ms);
    harness.settle();
    ASSERT_TRUE(app.state().snapshot(ReviewSource::messages));
    EXPECT_EQ(person(), "Kim");
    EXPECT_EQ(harness.settings->data(Keys::messagesContactsHistoryToken), store->currentHistoryToken());
    harness.queue.advance(5s);

    // Replaced in one step, as sync programs do, so that the edit is one burst of changes.
    writeFileAtomically(
        cards / "kim.vcf",
        vCard({.identifier = "kim", .givenName = "Kimberly", .familyName = "Lee", .phoneNumbers = {"+15550101"}}));
    ASSERT_TRUE(harness.queue.runUntil([&] { return app.contactsRevision() >= 1; }, 10s));
    EXPECT_FALSE(app.state().snapshot(ReviewSource::messages));
    harness.queue.advance(300ms);
    harness.settle();
    ASSERT_TRUE(app.state().snapshot(ReviewSource::messages));
    EXPECT_EQ(person(), "Kimberly");
    EXPECT_EQ(harness.settings->data(Keys::messagesContactsHistoryToken), store->currentHistoryToken());
    EXPECT_EQ(scans(*harness.messages).size(), 2u);
}

}  // namespace
}  // namespace nudgerly
