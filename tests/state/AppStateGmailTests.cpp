#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "core/CancelledError.h"
#include "core/UserFacingError.h"
#include "modelpacks/ModelSelectionStore.h"
#include "state/AppStateSettings.h"
#include "support/AppStateHarness.h"

namespace nudgerly {
namespace {

using test::AppStateHarness;
using Status = ContactsAuthorizationStatus;
namespace Keys = AppStateSettings;

const std::string contactsSentence = "Nudgerly requires Contacts access before it can review Messages or Gmail.";

// Basic Mode chosen, Contacts granted, a Gmail client configured and no account yet.
class AppStateGmailTest : public ::testing::Test {
protected:
    AppStateGmailTest() {
        harness.settings->setString(ModelSelectionStore::selectedPackKey, harness.catalog.packs[0].identifier);
        harness.settings->setString(Keys::modelChoiceVersion, Keys::currentModelChoiceVersion);
        harness.settings->setInteger(Keys::lookbackDaysGmail, 30);
        harness.gmail->setStatus({.configured = true});
        // A sign-in that honours its stop token, as the loopback wait does.
        harness.gmail->onConnect = [this](std::stop_token stop) {
            if (stop.stop_requested()) {
                throw CancelledError();
            }
            if (duringSignIn) {
                duringSignIn();
            }
            return GmailConnectionStatus{.configured = true, .connected = true, .email = signInAddress};
        };
    }

    const PublishedState& state() { return harness.app().state(); }
    int callsOf(const std::string& name) const {
        const auto calls = harness.gmail->calls();
        return static_cast<int>(std::ranges::count(calls, name));
    }

    AppStateHarness harness;
    std::function<void()> duringSignIn;
    std::string signInAddress = "new@example.com";
};

TEST_F(AppStateGmailTest, ASignInPublishesTheAccountAndRefreshesGmailWithItsLookback) {
    AppState& app = harness.buildAndStart();
    app.connectGmail();
    EXPECT_TRUE(state().gmailAuthorizationInProgress);
    EXPECT_FALSE(app.canSelectModelPack());
    harness.settle();
    EXPECT_FALSE(state().gmailAuthorizationInProgress);
    EXPECT_EQ(state().gmailStatus,
              (GmailConnectionStatus{.configured = true, .connected = true, .email = "new@example.com"}));
    EXPECT_EQ(callsOf("refresh(30)"), 1);
    EXPECT_FALSE(state().errorMessage);

    // A failed sign-in shows the service's own sentence and keeps the account shown.
    harness.gmail->onConnect = [](std::stop_token) -> GmailConnectionStatus {
        throw UserFacingError("Google sign-in timed out.");
    };
    app.connectGmail();
    harness.settle();
    EXPECT_EQ(state().errorMessage, "Google sign-in timed out.");
    EXPECT_EQ(state().gmailStatus.email, "new@example.com");
    EXPECT_FALSE(state().gmailAuthorizationInProgress);
}

TEST_F(AppStateGmailTest, EachRefusalHasItsSentenceAndStartsNothing) {
    AppState& app = harness.buildAndStart();
    app.connectGmail();
    harness.queue.drain();  // the sign-in waits on a worker
    app.connectGmail();
    EXPECT_EQ(state().errorMessage,
              "A Google sign-in attempt is still waiting. Cancel authorization to stop it and start again.");
    app.cancelGmailAuthorization();
    EXPECT_FALSE(state().errorMessage);
    EXPECT_EQ(state().activity, "Gmail authorization canceled");
    harness.settle();
    EXPECT_FALSE(state().gmailStatus.connected);
    EXPECT_FALSE(state().errorMessage);  // a cancelled sign-in says nothing more

    harness.gmail->setStatus({.configured = true, .connected = true, .email = "old@example.com"});
    app.disconnectGmail();
    app.connectGmail();
    EXPECT_EQ(state().errorMessage, "Wait for Gmail to finish disconnecting before connecting again.");
    harness.settle();

    app.deleteLocalData();
    app.connectGmail();
    EXPECT_EQ(state().errorMessage, "Wait for the Gmail operation to finish before connecting Gmail.");
    harness.settle();
    EXPECT_EQ(callsOf("connect()"), 1);

    // Nothing waits: cancelling changes nothing.
    app.setSection(Section::queue);
    const PublishedState before = state();
    app.cancelGmailAuthorization();
    EXPECT_EQ(state().activity, before.activity);
}

TEST_F(AppStateGmailTest, ACancelledSignInLeavesANewerOneItsFlagAndHandle) {
    AppState& app = harness.buildAndStart();
    app.connectGmail();
    harness.queue.drain();
    app.cancelGmailAuthorization();
    app.connectGmail();
    harness.queue.drain();
    ASSERT_EQ(harness.executor.pending(), 2u);
    harness.executor.runNext();  // the old sign-in ends, cancelled
    harness.queue.drain();
    EXPECT_TRUE(state().gmailAuthorizationInProgress);
    app.connectGmail();  // the newer one still counts as waiting
    EXPECT_EQ(state().errorMessage,
              "A Google sign-in attempt is still waiting. Cancel authorization to stop it and start again.");
    app.cancelGmailAuthorization();  // and its handle still reaches it
    harness.settle();
    EXPECT_FALSE(state().gmailAuthorizationInProgress);
    EXPECT_FALSE(state().gmailStatus.connected);
}

TEST_F(AppStateGmailTest, AFirstConnectionIsUndoneWhenContactsAccessGoesDuringTheSignIn) {
    AppState& app = harness.buildAndStart();
    duringSignIn = [this] { harness.contacts->setStatus(Status::denied); };
    app.connectGmail();
    harness.settle();
    EXPECT_EQ(state().errorMessage, contactsSentence);
    EXPECT_EQ(callsOf("disconnect()"), 2);
    EXPECT_EQ(state().gmailStatus, (GmailConnectionStatus{.configured = true}));
    EXPECT_FALSE(harness.gmail->status().connected);
    EXPECT_EQ(callsOf("refresh(30)"), 0);
    EXPECT_FALSE(state().gmailAuthorizationInProgress);
}

TEST_F(AppStateGmailTest, AReconnectionKeepsItsNewTokensAndShowsTheirAccount) {
    harness.gmail->setStatus({.configured = true, .connected = true, .email = "old@example.com"});
    AppState& app = harness.buildAndStart();
    duringSignIn = [this] { harness.contacts->setStatus(Status::notDetermined); };
    app.connectGmail();
    harness.settle();
    EXPECT_EQ(state().errorMessage, contactsSentence);
    EXPECT_EQ(callsOf("disconnect()"), 0);
    EXPECT_EQ(state().gmailStatus.email, "new@example.com");
    EXPECT_EQ(state().gmailStatus, harness.gmail->status());
}

TEST_F(AppStateGmailTest, LosingContactsAccessWhileASignInWaitsEndsItWithoutAWordOfItsOwn) {
    AppState& app = harness.buildAndStart();
    app.connectGmail();
    harness.queue.drain();
    ASSERT_TRUE(state().gmailAuthorizationInProgress);
    harness.contacts->setStatus(Status::denied);
    app.reconcileContactsPermission(false);
    harness.settle();
    EXPECT_FALSE(state().gmailAuthorizationInProgress);
    EXPECT_FALSE(harness.gmail->status().connected);
    EXPECT_EQ(state().activity, "Contacts access is required");
    EXPECT_EQ(state().errorMessage, "Nudgerly requires Contacts access. Allow it on the Accounts page.");
}

TEST_F(AppStateGmailTest, DisconnectingCancelsAWaitingSignInAndForgetsOnlyTheTokens) {
    harness.gmail->setStatus({.configured = true, .connected = true, .email = "old@example.com"});
    AppState& app = harness.buildAndStart();
    app.connectGmail();
    harness.queue.drain();
    app.disconnectGmail();
    EXPECT_FALSE(state().gmailAuthorizationInProgress);
    EXPECT_TRUE(state().isDisconnectingGmail);
    EXPECT_EQ(state().gmailStatus, (GmailConnectionStatus{.configured = true}));  // at once
    EXPECT_EQ(state().activity, "Disconnecting Gmail");
    app.disconnectGmail();  // ignored while the first runs
    harness.settle();
    EXPECT_EQ(callsOf("disconnect()"), 1);
    EXPECT_FALSE(state().isDisconnectingGmail);
    EXPECT_EQ(state().activity, "Gmail disconnected");
    EXPECT_FALSE(state().gmailStatus.connected);
    EXPECT_FALSE(harness.gmail->status().connected);  // the waiting sign-in never connected again
    EXPECT_FALSE(state().errorMessage);
}

TEST_F(AppStateGmailTest, ARunningGmailRefreshHoldsOffASignInAndADisconnectStopsItKeepingTheQueue) {
    harness.gmail->setStatus({.configured = true, .connected = true, .email = "old@example.com"});
    ReviewSnapshot saved;
    saved.items.push_back({.id = "g1", .source = ReviewSource::gmail, .person = "Ann"});
    harness.saveSnapshot(ReviewSource::gmail, saved);
    AppState& app = harness.buildAndStart();
    app.refresh(ReviewSource::gmail, LookbackWindow::seven);
    harness.queue.drain();
    ASSERT_TRUE(state().refreshingSources.contains(ReviewSource::gmail));
    app.connectGmail();
    EXPECT_EQ(state().errorMessage, "Wait for the Gmail operation to finish before connecting Gmail.");
    EXPECT_FALSE(state().gmailAuthorizationInProgress);

    app.disconnectGmail();
    EXPECT_FALSE(state().refreshingSources.contains(ReviewSource::gmail));
    harness.settle();
    EXPECT_FALSE(state().gmailStatus.connected);
    ASSERT_TRUE(state().snapshot(ReviewSource::gmail));
    EXPECT_EQ(state().snapshot(ReviewSource::gmail)->items, saved.items);
    EXPECT_TRUE(std::filesystem::exists(harness.snapshotFile(ReviewSource::gmail)));
}

}  // namespace
}  // namespace nudgerly
