#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Date.h"
#include "state/QueueDerivation.h"
#include "statefakes/FakeAppState.h"
#include "support/VirtualMainQueue.h"

namespace nudgerly {
namespace {

using test::FakeAppState;
using test::VirtualMainQueue;

// Noon in Los Angeles (the tests' zone), two days after daylight-saving time began on 8 March.
const Date noon = *Iso8601::parse("2026-03-10T19:00:00Z");

Date hoursBefore(double hours) {
    return noon.addingSeconds(-hours * 3600);
}

ReviewItem item(std::string id, ReviewSource source = ReviewSource::messages,
                ReviewStatus status = ReviewStatus::reply) {
    ReviewItem result;
    result.id = id;
    result.completionKey = "key-" + id;
    result.source = source;
    result.status = status;
    result.person = "Ann";  // the same name everywhere, so that ties keep the snapshots' order
    result.timestamp = hoursBefore(1);
    result.isKnownContact = true;
    result.summary = "Summary of " + id;
    return result;
}

std::shared_ptr<const ReviewSnapshot> snapshotOf(std::vector<ReviewItem> items, double windowHours = 7 * 24) {
    auto snapshot = std::make_shared<ReviewSnapshot>();
    snapshot->generatedAt = noon;
    snapshot->windowEnd = noon;
    snapshot->windowStart = hoursBefore(windowHours);
    snapshot->items = std::move(items);
    return snapshot;
}

std::vector<std::string> ids(const std::vector<ReviewItem>& items) {
    std::vector<std::string> result;
    for (const auto& i : items) {
        result.push_back(i.id);
    }
    return result;
}

using Ids = std::vector<std::string>;

// The derived members are read through the state object's interface, as the screens read them; the
// fake shares their code with the real state object.
class QueueDerivationTest : public ::testing::Test {
protected:
    VirtualMainQueue queue{noon};
    FakeAppState app{queue, queue};
    StatePublisher& fields = app.published();

    void SetUp() override { fields.setContactsPermission(ContactsPermission::granted); }

    void show(std::vector<ReviewItem> messages, std::vector<ReviewItem> gmail = {}) {
        fields.setSnapshot(ReviewSource::messages, snapshotOf(std::move(messages)));
        fields.setSnapshot(ReviewSource::gmail, snapshotOf(std::move(gmail)));
    }
};

TEST_F(QueueDerivationTest, WithoutUsableContactsAccessNothingIsListedButTheRangeIsStillDescribed) {
    show({item("m1")}, {item("g1", ReviewSource::gmail)});
    fields.setCompleted({"key-m1"});
    for (const auto permission : {ContactsPermission::notDetermined, ContactsPermission::denied}) {
        fields.setContactsPermission(permission);
        EXPECT_TRUE(app.visibleItems().empty());
        EXPECT_TRUE(app.sourceScopedItems().empty());
        EXPECT_EQ(app.openQueueCount(std::nullopt), 0);
        EXPECT_EQ(app.completedQueueCount(), 0);
        EXPECT_FALSE(app.selectedItem());
        EXPECT_EQ(app.rangeSummary(), "Showing the last 7 days");
    }
    fields.setContactsPermission(ContactsPermission::limited);
    EXPECT_EQ(ids(app.visibleItems()), (Ids{"g1"}));
    EXPECT_EQ(app.completedQueueCount(), 1);
}

TEST_F(QueueDerivationTest, CompletionIsMatchedByKeyAndByIdOnlyWithoutAKey) {
    auto keyed = item("keyed");
    auto unkeyed = item("unkeyed");
    unkeyed.completionKey.reset();
    auto markedById = item("marked-by-id");  // has a key, so its id mark means nothing
    show({keyed, unkeyed, markedById});
    fields.setCompleted({"key-keyed", "unkeyed", "marked-by-id"});

    EXPECT_EQ(ids(app.visibleItems()), (Ids{"marked-by-id"}));
    EXPECT_EQ(app.openQueueCount(std::nullopt), 1);
    EXPECT_EQ(app.completedQueueCount(), 2);
    fields.setCompletionScope(QueueCompletionScope::completed);
    EXPECT_EQ(ids(app.visibleItems()), (Ids{"keyed", "unkeyed"}));
    // The counts ignore the scope, the status filter and the search.
    fields.setStatusFilter(ReviewStatus::action);
    fields.setSearch("nothing matches this");
    EXPECT_TRUE(app.visibleItems().empty());
    EXPECT_EQ(app.openQueueCount(std::nullopt), 1);
    EXPECT_EQ(app.completedQueueCount(), 2);
}

TEST_F(QueueDerivationTest, SearchLooksAtPersonSummaryVerdictAndTagsOnly) {
    auto anna = item("anna");
    anna.person = "Anna Bell";
    auto byVerdict = item("verdict");
    byVerdict.verdict = "She asked about the INVOICE";
    auto byTag = item("tag");
    byTag.tags = {"travel", "invoice-2026"};
    auto notSearched = item("hidden");
    notSearched.context = "invoice";
    notSearched.draft = "invoice";
    notSearched.target = "invoice@example.com";
    show({anna, byVerdict, byTag, notSearched});

    fields.setSearch(" \n\t ");
    EXPECT_EQ(app.visibleItems().size(), 4u);  // blanks are no search
    fields.setSearch("  ANNA ");
    EXPECT_EQ(ids(app.visibleItems()), (Ids{"anna"}));
    fields.setSearch("invoice");
    EXPECT_EQ(ids(app.visibleItems()), (Ids{"verdict", "tag"}));
    fields.setSearch("travel invoice");  // tags are joined by one blank
    EXPECT_EQ(ids(app.visibleItems()), (Ids{"tag"}));
}

TEST_F(QueueDerivationTest, ExclusionsHidePassiveGmailNoticesAndExcludedMessagesSenders) {
    auto notice = item("notice", ReviewSource::gmail);
    notice.summary = "Acme has updated its privacy policy.";
    notice.context = "We have updated our Privacy Policy, effective 1 April.";
    auto demanding = notice;
    demanding.id = "demanding";
    demanding.verdict = "You must accept the updated terms to keep your account.";
    auto saysNoAction = notice;
    saysNoAction.id = "no-action";
    saysNoAction.context = "We have updated our Privacy Policy. No action is required.";
    saysNoAction.verdict = "You must accept the updated terms.";  // saying no action is needed wins
    auto sameTextInMessages = notice;
    sameTextInMessages.id = "messages-notice";
    sameTextInMessages.source = ReviewSource::messages;
    auto voicemail = item("voicemail");
    voicemail.person = "Voicemail";
    auto gmailVoicemail = item("gmail-voicemail", ReviewSource::gmail);
    gmailVoicemail.person = "Voicemail";
    show({sameTextInMessages, voicemail}, {notice, demanding, saysNoAction, gmailVoicemail});

    EXPECT_EQ(ids(app.visibleItems()), (Ids{"messages-notice", "demanding", "gmail-voicemail"}));
    EXPECT_EQ(app.openQueueCount(std::nullopt), 3);
}

TEST_F(QueueDerivationTest, AReplacedSnapshotIsJudgedAfresh) {
    auto voicemail = item("sender");
    voicemail.person = "Voicemail";
    show({voicemail});
    EXPECT_TRUE(app.visibleItems().empty());
    for (int round = 0; round < 3; ++round) {  // new snapshot objects, perhaps at a freed one's address
        auto renamed = voicemail;
        renamed.person = round % 2 ? "Voicemail" : "Vera";
        show({renamed});
        EXPECT_EQ(app.visibleItems().size(), round % 2 ? 0u : 1u);
    }
}

TEST_F(QueueDerivationTest, ContactsOnlyKeepsKnownMessagesContactsAndEveryGmailItem) {
    auto unknown = item("unknown");
    unknown.isKnownContact = false;
    auto unflagged = item("unflagged");
    unflagged.isKnownContact.reset();
    auto gmailUnknown = item("gmail", ReviewSource::gmail);
    gmailUnknown.isKnownContact = false;
    show({item("known"), unknown, unflagged}, {gmailUnknown});
    fields.setContactsOnly(true);
    EXPECT_EQ(ids(app.visibleItems()), (Ids{"known", "gmail"}));
    fields.setContactsOnly(false);
    EXPECT_EQ(app.visibleItems().size(), 4u);
}

TEST_F(QueueDerivationTest, TheLookbackCutCountsCalendarDaysInTheUsersZoneAcrossADaylightSavingChange) {
    // Three calendar days before noon on 10 March is noon on 7 March, which was still standard time:
    // 71 hours earlier, not 72.
    auto atCutoff = item("at-cutoff");
    atCutoff.timestamp = hoursBefore(71);
    auto justBefore = item("just-before");
    justBefore.timestamp = hoursBefore(71.5);  // within 72 hours, but before the calendar's cut
    auto undated = item("undated");
    undated.timestamp.reset();
    show({atCutoff, justBefore, undated});
    fields.setRefreshLookbacks({.combined = LookbackWindow::three});
    EXPECT_EQ(ids(app.visibleItems()), (Ids{"at-cutoff", "undated"}));

    // The cut follows the view that is shown, and so do the sidebar counts.
    fields.setRefreshLookbacks({.combined = LookbackWindow::three, .messages = LookbackWindow::ninety});
    EXPECT_EQ(app.openQueueCount(ReviewSource::messages), 2);
    fields.setSourceFilter(ReviewSource::messages);
    EXPECT_EQ(app.openQueueCount(ReviewSource::messages), 3);
    EXPECT_EQ(app.openQueueCount(std::nullopt), 3);
}

TEST_F(QueueDerivationTest, SourceAndStatusFiltersNarrowTheList) {
    show({item("m-reply"), item("m-action", ReviewSource::messages, ReviewStatus::action)},
         {item("g-reply", ReviewSource::gmail)});
    fields.setSourceFilter(ReviewSource::gmail);
    EXPECT_EQ(ids(app.sourceScopedItems()), (Ids{"g-reply"}));
    fields.setSourceFilter(std::nullopt);
    fields.setStatusFilter(ReviewStatus::reply);
    EXPECT_EQ(ids(app.sourceScopedItems()), (Ids{"m-reply", "m-action", "g-reply"}));
    EXPECT_EQ(ids(app.visibleItems()), (Ids{"m-reply", "g-reply"}));
}

TEST_F(QueueDerivationTest, EachSortOrderUsesItsKeysAndKeepsTiesInPlace) {
    auto replyLow = item("reply-low");
    replyLow.priority = 10;
    auto actionHigh = item("action-high", ReviewSource::messages, ReviewStatus::action);
    actionHigh.priority = 99;
    auto replyDefault = item("reply-default");  // no priority: 70 for a reply
    replyDefault.priority.reset();
    replyDefault.timestamp = hoursBefore(5);
    auto replySeventy = item("reply-70-newer");
    replySeventy.priority = 70;
    replySeventy.timestamp = hoursBefore(2);
    auto optional = item("optional", ReviewSource::gmail, ReviewStatus::nudgerly);
    optional.priority.reset();  // 25
    auto undated = item("undated", ReviewSource::gmail, ReviewStatus::action);
    undated.timestamp.reset();
    undated.priority = 99;
    show({replyLow, actionHigh, replyDefault, replySeventy}, {optional, undated});

    fields.setQueueSort(QueueSort::priority);
    EXPECT_EQ(ids(app.visibleItems()),
              (Ids{"reply-70-newer", "reply-default", "reply-low", "action-high", "undated", "optional"}));
    fields.setQueueSort(QueueSort::type);
    EXPECT_EQ(ids(app.visibleItems()),
              (Ids{"reply-low", "reply-70-newer", "reply-default", "action-high", "undated", "optional"}));
    fields.setQueueSort(QueueSort::newest);
    EXPECT_EQ(ids(app.visibleItems()),
              (Ids{"reply-low", "action-high", "optional", "reply-70-newer", "reply-default", "undated"}));
    fields.setQueueSort(QueueSort::oldest);
    EXPECT_EQ(ids(app.visibleItems()),
              (Ids{"reply-default", "reply-70-newer", "reply-low", "action-high", "optional", "undated"}));
}

TEST_F(QueueDerivationTest, NamesBreakTiesWithoutRegardToCaseAndEqualNamesKeepTheirOrder) {
    auto beth = item("beth");
    beth.person = "Beth";
    auto adam = item("adam");
    adam.person = "adam";
    auto adamAgain = item("ADAM");
    adamAgain.person = "ADAM";
    auto emile = item("emile");
    emile.person = "Émile";
    auto eve = item("eve");
    eve.person = "eve";
    show({beth, adamAgain, eve, adam, emile});
    for (const auto sort : {QueueSort::priority, QueueSort::newest, QueueSort::oldest, QueueSort::type}) {
        fields.setQueueSort(sort);
        EXPECT_EQ(ids(app.visibleItems()), (Ids{"ADAM", "adam", "beth", "emile", "eve"}));
    }
}

TEST_F(QueueDerivationTest, TheSelectionFallsBackToTheFirstVisibleItemWithoutChangingTheField) {
    show({item("a"), item("b")});
    EXPECT_EQ(app.selectedItem()->id, "a");
    fields.setSelectedItemID("b");
    EXPECT_EQ(app.selectedItem()->id, "b");
    fields.setSearch("Summary of a");  // hides b
    EXPECT_EQ(app.selectedItem()->id, "a");
    EXPECT_EQ(app.state().selectedItemID, "b");
    fields.setSearch("neither");
    EXPECT_FALSE(app.selectedItem());
}

TEST_F(QueueDerivationTest, ProgressLinesFollowTheViewAndTheCompletedViewHidesThem) {
    fields.setRefreshingSources({ReviewSource::gmail});
    fields.setRefreshProgress(ReviewSource::gmail, {.source = ReviewSource::gmail, .detail = "Listing inbox threads"});
    fields.setRefreshProgress(ReviewSource::messages, {.source = ReviewSource::messages, .detail = "Saving"});
    ASSERT_EQ(app.visibleRefreshProgresses().size(), 2u);
    EXPECT_EQ(app.visibleRefreshProgresses()[0].source, ReviewSource::messages);
    fields.setSourceFilter(ReviewSource::gmail);
    ASSERT_EQ(app.visibleRefreshProgresses().size(), 1u);
    EXPECT_EQ(app.visibleRefreshProgresses()[0].detail, "Listing inbox threads");
    EXPECT_TRUE(app.isRefreshingCurrentView());

    fields.setCompletionScope(QueueCompletionScope::completed);
    EXPECT_TRUE(app.visibleRefreshProgresses().empty());
    EXPECT_TRUE(app.isRefreshingCurrentView());
    fields.setSourceFilter(ReviewSource::messages);
    EXPECT_FALSE(app.isRefreshingCurrentView());
}

TEST_F(QueueDerivationTest, ARefreshOfTheViewNeedsOneLaunchableSourceThatIsSetUp) {
    EXPECT_FALSE(app.canRefreshCurrentView());  // nothing set up
    fields.setGmailStatus({.configured = true, .connected = true});
    EXPECT_TRUE(app.canRefreshCurrentView());
    fields.setRefreshingSources({ReviewSource::messages});
    EXPECT_FALSE(app.canRefreshCurrentView());  // the combined view waits for every source
    fields.setSourceFilter(ReviewSource::gmail);
    EXPECT_TRUE(app.canRefreshCurrentView());
    fields.setSourceFilter(ReviewSource::messages);
    fields.setMessagesPermission(MessagesPermission::granted);
    EXPECT_FALSE(app.canRefreshCurrentView());  // already refreshing
    fields.setRefreshingSources({});
    EXPECT_TRUE(app.canRefreshCurrentView());
}

TEST_F(QueueDerivationTest, TheRangeSummaryNamesTheLookbackAndWhatTheSavedHistoryCovers) {
    const auto refreshing = [&](bool on) {
        if (on) {
            fields.setRefreshProgress(ReviewSource::messages, {.source = ReviewSource::messages, .detail = "Starting"});
        } else {
            fields.setRefreshProgressBySource({});
        }
    };
    fields.setRefreshLookbacks({.combined = LookbackWindow::thirty, .messages = LookbackWindow::thirty});
    EXPECT_EQ(app.rangeSummary(), "No saved 30 days scans");
    refreshing(true);
    EXPECT_EQ(app.rangeSummary(), "Loading the last 30 days");

    fields.setSnapshot(ReviewSource::messages, snapshotOf({}, 36));  // 1.5 days round to 2
    EXPECT_EQ(app.rangeSummary(), "Expanding saved history to 30 days");
    refreshing(false);
    EXPECT_EQ(app.rangeSummary(), "Saved history is shorter than 30 days");
    fields.setSourceFilter(ReviewSource::messages);
    EXPECT_EQ(app.rangeSummary(), "Saved history covers 2 days");
    refreshing(true);
    EXPECT_EQ(app.rangeSummary(), "Expanding saved history to 30 days");

    fields.setSnapshot(ReviewSource::messages, snapshotOf({}, 30 * 24 - 11));  // 29.54 days round to 30
    EXPECT_EQ(app.rangeSummary(), "Showing the last 30 days");
    fields.setSourceFilter(std::nullopt);  // only the snapshots that exist count
    EXPECT_EQ(app.rangeSummary(), "Showing the last 30 days");

    fields.setSourceFilter(ReviewSource::gmail);
    refreshing(false);
    EXPECT_EQ(app.rangeSummary(), "No saved 7 days scan");
    fields.setRefreshProgress(ReviewSource::gmail, {.source = ReviewSource::gmail, .detail = "Starting"});
    EXPECT_EQ(app.rangeSummary(), "Loading the last 7 days");
}

TEST(QueueDerivationRules, SavedDaysRoundHalvesAwayFromZeroAndAreAtLeastOne) {
    const auto window = [](double hours) {
        ReviewSnapshot snapshot;
        snapshot.windowEnd = noon;
        snapshot.windowStart = hoursBefore(hours);
        return QueueDerivation::savedDays(snapshot);
    };
    EXPECT_EQ(window(36), 2);
    EXPECT_EQ(window(35.9), 1);
    EXPECT_EQ(window(1), 1);
    EXPECT_EQ(window(-48), 1);  // a reversed window
    EXPECT_EQ(window(90 * 24), 90);
}

}  // namespace
}  // namespace nudgerly
