#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ReturningUserTest.h"
#include "core/Files.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

using namespace test;
using namespace std::chrono_literals;
using Status = ContactsAuthorizationStatus;
namespace Keys = AppStateSettings;
namespace fs = std::filesystem;

// Both the lost access and the refused request send the user to the Accounts page's prompt.
const std::string enableInSettings = "Nudgerly requires Contacts access. Allow it on the Accounts page.";
const std::string allowInSettings = enableInSettings;

class PermissionsTest : public ReturningUserTest {
protected:
    // The reader's request goes to the Contacts store, which puts the question when it was never asked.
    void askTheStore() {
        harness.messages->onRequestContacts = [contacts = harness.contacts](std::stop_token stop) {
            return contacts->requestAccess(stop);
        };
    }
};

// ---- Access lost ----

struct LosingAccess {
    std::string road;
    std::function<void(AppStateHarness&)> notice;
};

void PrintTo(const LosingAccess& losing, std::ostream* out) {
    *out << losing.road;
}

class AccessLostTest : public PermissionsTest, public ::testing::WithParamInterface<LosingAccess> {};

TEST_P(AccessLostTest, StopsEveryRefreshDropsTheMessagesQueueKeepsGmailsAndSaysWhereToAllowIt) {
    harness.buildAndStart();
    pastGracePeriod();
    const std::string gmailBytes = readFile(harness.snapshotFile(ReviewSource::gmail));
    app().setSelectedItemID("g1");
    app().refreshAll(LookbackWindow::seven);
    harness.queue.drain();
    ASSERT_EQ(state().refreshingSources.size(), 2u);

    harness.contacts->setStatus(Status::denied);
    GetParam().notice(harness);
    EXPECT_TRUE(state().refreshingSources.empty());
    EXPECT_TRUE(state().refreshProgressBySource.empty());
    EXPECT_FALSE(state().snapshot(ReviewSource::messages));
    EXPECT_FALSE(fs::exists(harness.snapshotFile(ReviewSource::messages)));
    EXPECT_FALSE(harness.settings->value(Keys::messagesContactsHistoryToken));
    EXPECT_TRUE(state().snapshot(ReviewSource::gmail));
    EXPECT_EQ(state().section, Section::accounts);
    EXPECT_FALSE(state().selectedItemID);
    EXPECT_EQ(state().activity, "Contacts access is required");
    EXPECT_EQ(state().errorMessage, enableInSettings);
    EXPECT_EQ(state().contactsPermission, ContactsPermission::denied);

    // The stopped runs come back and write nothing; no rebuild follows.
    harness.settle();
    wait(1s);
    EXPECT_FALSE(fs::exists(harness.snapshotFile(ReviewSource::messages)));
    EXPECT_EQ(readFile(harness.snapshotFile(ReviewSource::gmail)), gmailBytes);
    EXPECT_EQ(state().errorMessage, enableInSettings);
    EXPECT_FALSE(app().pendingMessagesRebuild());
}

INSTANTIATE_TEST_SUITE_P(
    Roads, AccessLostTest,
    ::testing::Values(LosingAccess{"change",
                                   [](AppStateHarness& harness) {
                                       harness.contacts->announceChange();
                                       harness.queue.drain();
                                   }},
                      LosingAccess{"reconcile",
                                   [](AppStateHarness& harness) { harness.app().reconcileContactsPermission(false); }},
                      LosingAccess{"activation", [](AppStateHarness& harness) { harness.app().appDidBecomeActive(); }}),
    [](const auto& info) { return info.param.road; });

TEST_F(PermissionsTest, WithoutAccessAReconcileShowsTheAlertOnlyWhenAskedTo) {
    harness.contacts->setStatus(Status::denied);
    harness.buildAndStart();
    app().reconcileContactsPermission(false);
    EXPECT_EQ(state().activity, "Contacts access is required");
    EXPECT_FALSE(state().errorMessage);
    app().reconcileContactsPermission(true);
    EXPECT_EQ(state().errorMessage, enableInSettings);
    EXPECT_EQ(app().contactsRevision(), 0);
}

// ---- Access back, and activation ----

TEST_F(PermissionsTest, AccessComingBackClearsOnlyAnAlertAboutContactsAccessAndRebuilds) {
    harness.gmail->setStatus({.configured = true});
    harness.contacts->setStatus(Status::denied);
    harness.buildAndStart();
    pastGracePeriod();
    app().refresh(ReviewSource::messages, LookbackWindow::seven);  // turned away
    ASSERT_EQ(state().errorMessage, "Nudgerly requires Contacts access before it can review Messages or Gmail.");

    harness.contacts->setStatus(Status::authorized);
    app().reconcileContactsPermission(false);
    EXPECT_FALSE(state().errorMessage);
    EXPECT_EQ(state().activity, "Contacts access is ready");
    EXPECT_EQ(app().contactsRevision(), 1);
    EXPECT_TRUE(app().pendingMessagesRebuild());
    wait(300ms);
    EXPECT_EQ(scans(*harness.messages), std::vector<std::string>{"scan(7)"});

    // With access unchanged, an alert about something else stays, and so does the activity line.
    const auto otherAlert = [&] {
        app().refresh(ReviewSource::gmail, LookbackWindow::seven);
        ASSERT_EQ(state().errorMessage, "Connect Gmail before refreshing it.");
    };
    otherAlert();
    const std::string activity = state().activity;
    app().reconcileContactsPermission(true);
    EXPECT_EQ(state().errorMessage, "Connect Gmail before refreshing it.");
    EXPECT_EQ(state().activity, activity);
    EXPECT_EQ(app().contactsRevision(), 1);

    // A change notification that finds access usable clears a Contacts alert the same way.
    harness.contacts->setStatus(Status::denied);
    app().reconcileContactsPermission(false);
    ASSERT_EQ(state().errorMessage, enableInSettings);
    harness.contacts->setStatus(Status::limited);
    contactsChange();
    EXPECT_FALSE(state().errorMessage);
    EXPECT_EQ(state().activity, "Limited Contacts access changed");
    wait(300ms);
    otherAlert();
    contactsChange();
    EXPECT_EQ(state().errorMessage, "Connect Gmail before refreshing it.");
    EXPECT_EQ(state().activity, "Contacts changed; rebuilding the Messages queue");
}

TEST_F(PermissionsTest, ActivationRevalidatesLimitedAccessThatStaysLimitedAndNothingElse) {
    harness.buildAndStart();
    pastGracePeriod();
    app().appDidBecomeActive();
    EXPECT_EQ(app().contactsRevision(), 0);
    EXPECT_TRUE(state().snapshot(ReviewSource::messages));

    harness.contacts->setStatus(Status::limited);
    app().appDidBecomeActive();  // granted to limited: a change, told as such
    EXPECT_EQ(app().contactsRevision(), 1);
    EXPECT_EQ(state().activity, "Limited Contacts access is ready");
    wait(300ms);
    ASSERT_TRUE(state().snapshot(ReviewSource::messages));

    app().appDidBecomeActive();  // limited stays limited: the picked contacts may differ now
    EXPECT_EQ(app().contactsRevision(), 2);
    EXPECT_FALSE(state().snapshot(ReviewSource::messages));
    EXPECT_EQ(state().activity, "Revalidating limited Contacts access");
    wait(300ms);
    EXPECT_EQ(scans(*harness.messages).size(), 2u);
}

// ---- Asking for Contacts access ----

TEST_F(PermissionsTest, GrantingAccessInThePromptMakesItReadyAndRebuildsMessages) {
    harness.contacts->setStatus(Status::notDetermined);
    askTheStore();
    harness.buildAndStart();
    ASSERT_EQ(state().section, Section::accounts);

    app().requestContacts();
    harness.queue.drain();
    // The question waits on a worker; the main thread goes on meanwhile.
    EXPECT_EQ(harness.executor.pendingLabels(), std::vector<std::string>{"Contacts access request"});
    EXPECT_EQ(state().contactsPermission, ContactsPermission::notDetermined);
    harness.settle();
    EXPECT_EQ(harness.contacts->questionsAsked(), 1);
    EXPECT_EQ(state().contactsPermission, ContactsPermission::granted);
    EXPECT_EQ(app().contactsRevision(), 1);
    EXPECT_EQ(state().activity, "Contacts access is ready");
    EXPECT_FALSE(state().errorMessage);
    wait(300ms);
    EXPECT_EQ(scans(*harness.messages), std::vector<std::string>{"scan(7)"});

    // Asked again, the store puts no second question.
    app().requestContacts();
    harness.settle();
    EXPECT_EQ(harness.contacts->questionsAsked(), 1);
    EXPECT_EQ(app().contactsRevision(), 1);
}

TEST_F(PermissionsTest, AllowingSomeContactsSaysLimitedAndAModelChoiceStillToMakeIsShownNext) {
    harness.settings->remove(Keys::modelChoiceVersion);
    harness.contacts->setStatus(Status::notDetermined);
    harness.contacts->setAnswer(Status::limited);
    askTheStore();
    harness.buildAndStart();
    app().requestContacts();
    harness.settle();
    EXPECT_EQ(state().contactsPermission, ContactsPermission::limited);
    EXPECT_EQ(state().activity, "Choose Local AI or continue in Basic Mode");
    EXPECT_EQ(state().section, Section::accounts);
    wait(1s);
    EXPECT_TRUE(scans(*harness.messages).empty());
    EXPECT_TRUE(app().pendingMessagesRebuild());
}

TEST_F(PermissionsTest, DenyingAccessInThePromptSendsTheUserToSystemSettings) {
    harness.contacts->setStatus(Status::notDetermined);
    harness.contacts->setAnswer(Status::denied);
    askTheStore();
    harness.buildAndStart();
    app().setSection(Section::queue);
    app().requestContacts();
    harness.settle();
    EXPECT_EQ(state().contactsPermission, ContactsPermission::denied);
    EXPECT_EQ(state().section, Section::accounts);
    EXPECT_EQ(state().errorMessage, allowInSettings);
    EXPECT_EQ(state().activity, "Contacts access is required");
}

TEST_F(PermissionsTest, ARequestThatFailsSaysWhyOnlyWhenAccessIsThereAnyway) {
    harness.contacts->setStatus(Status::notDetermined);
    harness.contacts->setRequestFailure("Your answer could not be stored.");
    askTheStore();
    harness.buildAndStart();
    app().requestContacts();
    harness.settle();
    EXPECT_EQ(state().section, Section::accounts);
    EXPECT_EQ(state().errorMessage, allowInSettings);

    harness.contacts->setStatus(Status::authorized);
    app().setSection(Section::queue);
    app().requestContacts();
    harness.settle();
    EXPECT_EQ(state().section, Section::accounts);
    EXPECT_EQ(state().errorMessage, "Contacts access could not be checked: Your answer could not be stored.");

    // Something that is not ours to tell gets a plain sentence, not its own text.
    harness.messages->onRequestContacts = [](std::stop_token) -> bool { throw std::runtime_error("EACCES 0x1f"); };
    app().requestContacts();
    harness.settle();
    EXPECT_EQ(state().errorMessage, "Contacts access could not be checked: the request failed unexpectedly.");
}

// ---- The Messages database ----

TEST_F(PermissionsTest, CheckingForTheMessagesDatabaseAgainSaysWhereItIsMissingOrRefreshesMessages) {
    harness.settings->setInteger(Keys::lookbackDaysMessages, 30);
    harness.messagesPermission = MessagesPermission::denied;
    harness.buildAndStart();
    app().recheckMessagesPermission();
    harness.settle();
    EXPECT_EQ(state().messagesPermission, MessagesPermission::denied);
    EXPECT_EQ(state().activity, "No Messages database at " + harness.messagesDatabase.string() + ".");
    EXPECT_FALSE(state().errorMessage);
    EXPECT_TRUE(scans(*harness.messages).empty());

    harness.messagesPermission = MessagesPermission::granted;
    app().recheckMessagesPermission();
    EXPECT_EQ(state().messagesPermission, MessagesPermission::granted);
    harness.settle();
    EXPECT_EQ(scans(*harness.messages), std::vector<std::string>{"scan(30)"});
}

// ---- The folders the permission buttons show ----

TEST_F(PermissionsTest, TheContactsSettingsButtonPutsTheQuestionAgainAfterARefusal) {
    harness.contacts->setStatus(Status::denied);
    harness.contacts->setAnswer(Status::authorized);
    harness.messages->onRequestContacts = [contacts = harness.contacts](std::stop_token stop) {
        return contacts->requestAccess(stop, AccessQuestion::evenAfterRefusal);
    };
    harness.buildAndStart();
    ASSERT_EQ(state().contactsPermission, ContactsPermission::denied);
    app().openContactsSettings();
    harness.settle();
    EXPECT_EQ(harness.messages->calls().back(), "requestContacts(again)");
    EXPECT_EQ(harness.contacts->questionsAsked(), 1);
    EXPECT_EQ(state().contactsPermission, ContactsPermission::granted);
    EXPECT_FALSE(state().errorMessage);
    EXPECT_TRUE(harness.opener->opened.empty());
}

TEST_F(PermissionsTest, TheMessagesFolderIsMadePrivateWhenMissingAndOpened) {
    harness.buildAndStart();
    const fs::path folder = harness.messagesDatabase.parent_path();
    app().openFullDiskAccess();
    EXPECT_EQ(harness.opener->opened, std::vector<std::string>{folder.string()});
    EXPECT_EQ(fileMode(folder), 0700u);
    EXPECT_FALSE(state().errorMessage);

    // One the user made is opened as it is.
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    harness.opener->opened.clear();
    app().openFullDiskAccess();
    EXPECT_EQ(harness.opener->opened, std::vector<std::string>{folder.string()});
    EXPECT_EQ(fileMode(folder), 0750u);

    // A file where the folder should be: nothing to open, and the user is told why.
    fs::remove(folder);
    writeTestFile(folder, "not a folder");
    harness.opener->opened.clear();
    app().openFullDiskAccess();
    EXPECT_TRUE(harness.opener->opened.empty());
    EXPECT_EQ(state().errorMessage,
              "Couldn't create the folder \u201CMessages\u201D: A part of the path is not a folder.");
}

}  // namespace
}  // namespace nudgerly
