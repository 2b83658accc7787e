#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RefreshTestSupport.h"
#include "services/WireValues.h"
#include "state/AppStateSettings.h"

namespace nudgerly {
namespace {

using namespace test;
namespace Keys = AppStateSettings;

class QueueViewTest : public ::testing::Test {
protected:
    AppStateHarness harness;

    void SetUp() override { readyUser(harness); }

    AppState& app() { return harness.app(); }
    const PublishedState& state() { return harness.app().state(); }
    // The sources whose read was started, as the fakes saw them.
    std::vector<std::string> reads() {
        std::vector<std::string> calls;
        for (const auto& call : harness.messages->calls()) {
            if (call.starts_with("scan")) {
                calls.push_back(call);
            }
        }
        for (const auto& call : harness.gmail->calls()) {
            if (call.starts_with("refresh")) {
                calls.push_back(call);
            }
        }
        return calls;
    }
    // Both queues saved over `days` days, with the Messages history token stored.
    void savedQueues(int64_t days) {
        harness.saveSnapshot(ReviewSource::messages, savedQueue("m1", ReviewSource::messages, days));
        harness.saveSnapshot(ReviewSource::gmail, savedQueue("g1", ReviewSource::gmail, days));
        harness.settings->setData(Keys::messagesContactsHistoryToken, "token-1");
    }
};

// ---- Gates and refusals ----

TEST_F(QueueViewTest, WithoutAModelChoiceEveryGatedRequestOpensTheAccountsPage) {
    harness.settings->remove(Keys::modelChoiceVersion);
    harness.buildAndStart();
    ASSERT_TRUE(state().needsModelChoice);
    const std::vector<std::function<void()>> requests{
        [&] { app().showQueue(ReviewSource::gmail, QueueCompletionScope::open); },
        [&] { app().refresh(ReviewSource::messages, LookbackWindow::seven); },
        [&] { app().refreshAll(LookbackWindow::seven); },
    };
    for (const auto& request : requests) {
        app().setSection(Section::queue);
        app().setSelectedItemID("m1");
        request();
        harness.settle();
        EXPECT_EQ(state().section, Section::accounts);
        EXPECT_FALSE(state().selectedItemID);
        EXPECT_EQ(state().activity, "Choose Local AI or continue in Basic Mode");
        EXPECT_FALSE(state().sourceFilter);
        EXPECT_TRUE(reads().empty());
    }
}

TEST_F(QueueViewTest, WithoutContactsAccessRequestsAreRefusedWithTheAlert) {
    harness.contacts->setStatus(ContactsAuthorizationStatus::denied);
    harness.buildAndStart();
    app().setSection(Section::queue);
    app().refreshAll(LookbackWindow::seven);
    EXPECT_EQ(state().section, Section::accounts);
    EXPECT_EQ(state().activity, "Contacts access is required");
    EXPECT_EQ(state().errorMessage, "Nudgerly requires Contacts access before it can review Messages or Gmail.");
    harness.settle();
    EXPECT_TRUE(reads().empty());
}

TEST_F(QueueViewTest, ASourceThatIsNotSetUpIsRefusedInItsOwnWay) {
    harness.gmail->setStatus({.configured = true});
    harness.messagesPermission = MessagesPermission::denied;
    harness.buildAndStart();

    app().setSection(Section::queue);
    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    EXPECT_EQ(state().errorMessage, "No Messages database at " + harness.messagesDatabase.string() + ".");
    EXPECT_EQ(state().section, Section::queue);  // the page stays

    app().refresh(ReviewSource::gmail, LookbackWindow::seven);
    EXPECT_EQ(state().errorMessage, "Connect Gmail before refreshing it.");
    EXPECT_EQ(state().section, Section::accounts);

    app().setSection(Section::queue);
    app().refreshAll(LookbackWindow::seven);
    EXPECT_EQ(state().section, Section::accounts);
    EXPECT_EQ(state().activity, "Connect Messages or Gmail before refreshing");
    harness.settle();
    EXPECT_TRUE(reads().empty());
    EXPECT_TRUE(state().refreshingSources.empty());
}

// ---- Refresh requests ----

TEST_F(QueueViewTest, RefreshAllStartsTheSourcesThatAreSetUpAndNothingWhileOneRuns) {
    harness.buildAndStart();
    app().refreshAll(LookbackWindow::thirty);
    EXPECT_EQ(state().activity, "Refreshing Messages and Gmail in parallel");
    EXPECT_EQ(state().refreshingSources, (std::set{ReviewSource::messages, ReviewSource::gmail}));
    harness.settle();
    EXPECT_EQ(reads(), (std::vector<std::string>{"scan(30)", "refresh(30)"}));

    // While Messages refreshes, neither a Messages nor an all-sources request changes anything.
    app().refresh(ReviewSource::messages, LookbackWindow::seven);
    harness.queue.drain();
    const std::string activity = state().activity;
    app().refresh(ReviewSource::messages, LookbackWindow::ninety);
    app().refreshAll(LookbackWindow::ninety);
    EXPECT_EQ(state().refreshingSources, std::set{ReviewSource::messages});
    EXPECT_EQ(state().activity, activity);
    harness.settle();
    EXPECT_EQ(reads(), (std::vector<std::string>{"scan(30)", "scan(7)", "refresh(30)"}));
}

TEST_F(QueueViewTest, RefreshAllWithOnlyGmailConnectedRefreshesGmail) {
    harness.messagesPermission = MessagesPermission::denied;
    harness.buildAndStart();
    app().refreshAll(LookbackWindow::seven);
    EXPECT_EQ(state().activity, "Refreshing Gmail");
    EXPECT_EQ(state().refreshingSources, std::set{ReviewSource::gmail});
}

TEST_F(QueueViewTest, RefreshingTheCurrentViewUsesItsLookback) {
    harness.settings->setInteger(Keys::lookbackDaysCombined, 60);
    harness.settings->setInteger(Keys::lookbackDaysGmail, 3);
    harness.buildAndStart();
    app().refreshCurrentView();
    harness.settle();
    EXPECT_EQ(reads(), (std::vector<std::string>{"scan(60)", "refresh(60)"}));

    savedQueues(90);
    harness.buildAndStart();
    app().showQueue(ReviewSource::gmail, QueueCompletionScope::completed);
    EXPECT_EQ(app().refreshLabel(), "Refresh Gmail");
    app().refreshCurrentView();
    harness.settle();
    EXPECT_EQ(reads(), (std::vector<std::string>{"scan(60)", "refresh(60)", "refresh(3)"}));
}

// ---- The queue view: lookback, expansion, sort and filters ----

TEST_F(QueueViewTest, ALongerLookbackExpandsSavedHistoryAndAShorterOneShowsIt) {
    savedQueues(7);
    harness.buildAndStart();
    app().showQueue(ReviewSource::messages, QueueCompletionScope::open);
    EXPECT_EQ(state().activity, "Showing the last 7 days from saved history");
    EXPECT_EQ(state().selectedItemID, "m1");

    app().setLookback(LookbackWindow::thirty);
    EXPECT_EQ(state().activity, "Expanding Messages history to 30 days");
    EXPECT_EQ(state().refreshLookbacks.messages, LookbackWindow::thirty);
    EXPECT_EQ(state().refreshLookbacks.combined, LookbackWindow::seven);
    EXPECT_EQ(harness.settings->integer(Keys::lookbackDaysMessages), 30);
    harness.settle();
    EXPECT_EQ(reads(), std::vector<std::string>{"scan(30)"});

    app().setLookback(LookbackWindow::seven);
    EXPECT_EQ(state().activity, "Showing the last 7 days from saved history");

    // The same window again writes nothing and starts nothing.
    harness.settings->remove(Keys::lookbackDaysMessages);
    app().setLookback(LookbackWindow::seven);
    EXPECT_FALSE(harness.settings->value(Keys::lookbackDaysMessages));
    harness.settle();
    EXPECT_EQ(reads(), std::vector<std::string>{"scan(30)"});
}

TEST_F(QueueViewTest, TheCombinedViewExpandsBothSourcesOrWaitsForARunningOne) {
    savedQueues(7);
    harness.buildAndStart();
    app().setLookback(LookbackWindow::sixty);
    // The expansion asks for a refresh of both, which says so in its own words.
    EXPECT_EQ(state().activity, "Refreshing Messages and Gmail in parallel");
    EXPECT_EQ(state().refreshingSources, (std::set{ReviewSource::messages, ReviewSource::gmail}));
    harness.settle();
    EXPECT_EQ(reads(), (std::vector<std::string>{"scan(60)", "refresh(60)"}));

    // While a source of the combined view refreshes, choosing a window starts nothing more.
    app().refresh(ReviewSource::gmail, LookbackWindow::seven);
    const std::string activity = state().activity;
    app().setLookback(LookbackWindow::ninety);
    EXPECT_EQ(state().activity, activity);
    EXPECT_EQ(state().refreshingSources, std::set{ReviewSource::gmail});
}

TEST_F(QueueViewTest, TheCombinedViewExpandsOnlyTheSourcesThatAreSetUp) {
    harness.gmail->setStatus({.configured = true});
    harness.saveSnapshot(ReviewSource::messages, savedQueue("m1", ReviewSource::messages, 7));
    harness.settings->setData(Keys::messagesContactsHistoryToken, "token-1");
    harness.buildAndStart();

    // Gmail never connected is not short of anything: no alert, no trip to the accounts page.
    app().showQueue(std::nullopt, QueueCompletionScope::open);
    EXPECT_EQ(state().section, Section::queue);
    EXPECT_EQ(state().errorMessage, std::nullopt);
    EXPECT_EQ(state().activity, "Showing the last 7 days from saved history");
    app().setLookback(LookbackWindow::thirty);
    EXPECT_EQ(state().errorMessage, std::nullopt);
    EXPECT_EQ(state().refreshingSources, std::set{ReviewSource::messages});
    harness.settle();
    EXPECT_EQ(reads(), std::vector<std::string>{"scan(30)"});

    // Gmail's own view shows its empty state instead: no alert, no trip to the accounts page, and no
    // word of expanding what cannot expand.
    const std::string activity = state().activity;
    app().showQueue(ReviewSource::gmail, QueueCompletionScope::open);
    EXPECT_EQ(state().errorMessage, std::nullopt);
    EXPECT_EQ(state().section, Section::queue);
    EXPECT_EQ(state().sourceFilter, ReviewSource::gmail);
    EXPECT_EQ(state().activity, activity);

    // Nothing set up at all: the combined view stays, with nothing to expand.
    harness.messagesPermission = MessagesPermission::denied;
    app().recheckMessagesPermission();
    app().dismissError();
    app().showQueue(std::nullopt, QueueCompletionScope::open);
    EXPECT_EQ(state().section, Section::queue);
    EXPECT_EQ(state().errorMessage, std::nullopt);
    harness.settle();
    EXPECT_EQ(reads(), std::vector<std::string>{"scan(30)"});
}

TEST_F(QueueViewTest, ASourceViewWithoutItsDatabaseNeitherExpandsNorRaisesTheAlert) {
    harness.messagesPermission = MessagesPermission::denied;
    harness.buildAndStart();
    const std::string activity = state().activity;
    for (const LookbackWindow window : {LookbackWindow::seven, LookbackWindow::ninety}) {
        app().showQueue(ReviewSource::messages, QueueCompletionScope::open);
        app().setLookback(window);
        EXPECT_EQ(state().activity, activity);
        EXPECT_EQ(state().errorMessage, std::nullopt);
        EXPECT_EQ(state().section, Section::queue);
    }
    EXPECT_TRUE(reads().empty());
}

TEST_F(QueueViewTest, TheCompletedViewNeverStartsARefresh) {
    harness.buildAndStart();
    app().showQueue(std::nullopt, QueueCompletionScope::completed);
    EXPECT_EQ(state().section, Section::queue);
    EXPECT_EQ(state().completionScope, QueueCompletionScope::completed);
    EXPECT_EQ(state().activity, "Ready");
    harness.settle();
    EXPECT_TRUE(reads().empty());
}

TEST_F(QueueViewTest, SortAndContactsOnlyAreKeptAndTheHintShownOnlyWhenItHelps) {
    savedQueues(7);
    harness.buildAndStart();
    app().setQueueSort(QueueSort::oldest);
    EXPECT_EQ(state().queueSort, QueueSort::oldest);
    EXPECT_EQ(harness.settings->string(Keys::queueSort), "oldest");

    app().setContactsOnly(true);  // every saved item knows whether it is a contact
    EXPECT_TRUE(state().contactsOnly);
    EXPECT_EQ(harness.settings->boolean(Keys::contactsOnly), true);
    EXPECT_EQ(state().activity, "Ready");

    ReviewSnapshot unflagged = savedQueue("m2");
    unflagged.items[0].isKnownContact.reset();
    harness.saveSnapshot(ReviewSource::messages, unflagged);
    harness.buildAndStart();
    app().setContactsOnly(false);
    EXPECT_EQ(state().activity, "Ready");
    app().setContactsOnly(true);
    EXPECT_EQ(state().activity, "Refresh Messages once to apply the Contacts-only filter");
    harness.settle();
    EXPECT_TRUE(reads().empty());
}

// ---- Labels ----

TEST_F(QueueViewTest, TheLastRefreshIsToldByTheUsersCalendar) {
    // Noon on 10 March in Los Angeles; the test program pins en_US and that zone.
    const auto labelFor = [&](Date generatedAt) {
        ReviewSnapshot snapshot = savedQueue("g1", ReviewSource::gmail);
        snapshot.generatedAt = generatedAt;
        harness.saveSnapshot(ReviewSource::gmail, snapshot);
        return harness.buildAndStart().lastRefreshLabel(ReviewSource::gmail);
    };
    EXPECT_EQ(harness.buildAndStart().lastRefreshLabel(ReviewSource::messages), "Never refreshed");
    EXPECT_EQ(labelFor(*Iso8601::parse("2026-03-10T07:05:00Z")), "Today at 12:05\u202FAM");
    EXPECT_EQ(labelFor(*Iso8601::parse("2026-03-10T06:59:00Z")), "Yesterday at 11:59\u202FPM");
    EXPECT_EQ(labelFor(*Iso8601::parse("2026-03-08T19:00:00Z")), "Mar 8, 12:00\u202FPM");
    EXPECT_EQ(labelFor(*Iso8601::parse("2025-12-08T23:15:00Z")), "Dec 8, 3:15\u202FPM");
}

// ---- Diagnostics ----

TEST_F(QueueViewTest, DiagnosticsDescribeTheInstallationFieldByField) {
    harness.saveSnapshot(ReviewSource::gmail, savedQueue("g1", ReviewSource::gmail));
    harness.buildAndStart();
    const ModelPack& pack = harness.catalog.packs[0];
    FeedbackDiagnostics expected{
        .appVersion = *AppInfo(AppInfo::compiledDefaults()).string("CFBundleShortVersionString"),
        .buildNumber = *AppInfo(AppInfo::compiledDefaults()).string("CFBundleVersion"),
        .macOSVersion = WireValues::operatingSystemVersion(),
        .architecture = WireValues::architecture(),
        .model = pack.repository + " \u2014 " + pack.filename,
        .modelState = "basic mode",
        .localAIFailure = std::nullopt,
        .contactsPermission = "granted",
        .messagesPermission = "granted",
        .gmailState = "connected",
        .messagesQueueCount = 0,
        .gmailQueueCount = 1,
        .messagesLastRefresh = std::nullopt,
        .gmailLastRefresh = "2026-03-10T18:00:00Z",
        .refreshState = "idle",
    };
    EXPECT_EQ(app().feedbackDiagnostics(), expected);

    // Refreshing: one piece per source, Messages first, with counts where the line has them.
    app().refreshAll(LookbackWindow::seven);
    harness.queue.drain();
    harness.executor.runNext();  // the Messages scan
    harness.queue.drain();
    harness.executor.runNext();  // the Gmail read
    harness.executor.runNext();  // the Messages classification, of an empty batch: 0 of 0
    EXPECT_EQ(app().feedbackDiagnostics().refreshState, "messages \u00B7 0 of 0; gmail \u00B7 refreshing");
    harness.settle();
}

TEST_F(QueueViewTest, DiagnosticsNameEveryPermissionGmailAndModelState) {
    harness.settings->remove(Keys::modelChoiceVersion);
    harness.contacts->setStatus(ContactsAuthorizationStatus::notDetermined);
    harness.messagesPermission = MessagesPermission::denied;
    harness.gmail->setStatus({.configured = true});
    harness.buildAndStart();
    FeedbackDiagnostics diagnostics = app().feedbackDiagnostics();
    EXPECT_EQ(diagnostics.modelState, "not selected");
    EXPECT_EQ(diagnostics.contactsPermission, "not requested");
    EXPECT_EQ(diagnostics.messagesPermission, "denied");
    EXPECT_EQ(diagnostics.gmailState, "configured");

    harness.gmail->setStatus({});
    harness.contacts->setStatus(ContactsAuthorizationStatus::limited);
    harness.install(harness.catalog.packs[0]);
    diagnostics = harness.buildAndStart().feedbackDiagnostics();
    EXPECT_EQ(diagnostics.modelState, "installed");
    EXPECT_EQ(diagnostics.contactsPermission, "limited");
    EXPECT_EQ(diagnostics.gmailState, "not configured");

    harness.contacts->setStatus(ContactsAuthorizationStatus::restricted);
    EXPECT_EQ(harness.buildAndStart().feedbackDiagnostics().contactsPermission, "denied");
}

}  // namespace
}  // namespace nudgerly
