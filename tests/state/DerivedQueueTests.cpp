#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "statefakes/FakeAppState.h"
#include "support/VirtualMainQueue.h"

namespace nudgerly {
namespace {

using test::FakeAppState;
using test::VirtualMainQueue;

const Date noon = *Iso8601::parse("2026-03-10T19:00:00Z");

ReviewItem item(std::string id, double hoursAgo, std::string summary = "Summary") {
    ReviewItem made;
    made.id = id;
    made.completionKey = "key-" + id;
    made.person = "Ann " + id;
    made.summary = std::move(summary);
    made.timestamp = noon.addingSeconds(-hoursAgo * 3600);
    return made;
}

std::shared_ptr<const ReviewSnapshot> snapshotOf(std::vector<ReviewItem> items) {
    auto snapshot = std::make_shared<ReviewSnapshot>();
    snapshot->windowEnd = noon;
    snapshot->windowStart = noon.addingSeconds(-90 * 86'400.0);
    snapshot->items = std::move(items);
    return snapshot;
}

std::vector<std::string> ids(const std::vector<ReviewItem>& items) {
    std::vector<std::string> result;
    for (const ReviewItem& each : items) {
        result.push_back(each.id);
    }
    return result;
}

// The lists are kept between reads; every read must still give what deriving afresh gives.
class DerivedQueueTest : public ::testing::Test {
protected:
    VirtualMainQueue queue{noon};
    FakeAppState app{queue, queue};

    void SetUp() override { publish(app.published()); }

    static void publish(StatePublisher& fields) {
        fields.setContactsPermission(ContactsPermission::granted);
        fields.setRefreshLookbacks({.combined = LookbackWindow::seven});
        fields.setSnapshot(ReviewSource::messages,
                           snapshotOf({item("fresh", 1, "the invoice is due"), item("old", 7 * 24 - 1, "an invoice"),
                                       item("other", 2, "lunch")}));
    }

    // What a state object that never read anything before derives from the same fields.
    std::vector<std::string> afresh() {
        FakeAppState other{queue, queue};
        other.published().replaceAll(app.state());
        return ids(other.visibleItems());
    }
};

TEST_F(DerivedQueueTest, AnItemLeavesTheLookbackAsTimePassesWithoutAnyChange) {
    const auto before = app.visibleQueue();
    EXPECT_EQ(before, app.visibleQueue());  // one list shared between reads
    EXPECT_EQ(ids(app.visibleItems()), (std::vector<std::string>{"fresh", "other", "old"}));
    EXPECT_EQ(app.openQueueCount(std::nullopt), 3);

    queue.advance(std::chrono::hours(2));  // "old" is now more than seven days old
    EXPECT_EQ(ids(app.visibleItems()), (std::vector<std::string>{"fresh", "other"}));
    EXPECT_EQ(app.openQueueCount(std::nullopt), 2);
    EXPECT_EQ(ids(app.visibleItems()), afresh());
}

TEST_F(DerivedQueueTest, SearchesThatNarrowAndWidenAnswerAsAFreshDerivation) {
    StatePublisher& fields = app.published();
    for (const std::string search : {"i", "inv", "invoice", "invoice is", "in", "", "lunch", "lun"}) {
        fields.setSearch(search);
        EXPECT_EQ(ids(app.visibleItems()), afresh()) << search;
        fields.setCompleted(search == "invoice" ? std::unordered_set<std::string>{"key-fresh"}
                                                : std::unordered_set<std::string>{});
        EXPECT_EQ(ids(app.visibleItems()), afresh()) << search << " with the marks changed";
    }
}

}  // namespace
}  // namespace nudgerly
