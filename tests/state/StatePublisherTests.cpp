#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "state/StatePublisher.h"
#include "state/StatusLines.h"
#include "support/VirtualMainQueue.h"

namespace nudgerly {
namespace {

using test::VirtualMainQueue;

class StatePublisherTest : public ::testing::Test {
protected:
    VirtualMainQueue queue;
    StatePublisher publisher{queue};
    StatusLines lines{publisher, queue};
    std::vector<StateFieldSet> heard;

    ObservationToken record() {
        return publisher.observe([this](const StateFieldSet& changed) { heard.push_back(changed); });
    }
};

TEST_F(StatePublisherTest, WritesOfOneTurnArriveAsOneNotificationWithTheirUnion) {
    const auto token = record();
    lines.showActivity("Refreshing Messages");
    publisher.setSearch("anna");
    lines.showActivity("Refreshing Messages");  // the same value again still counts as a write
    publisher.insertRefreshingSource(ReviewSource::messages);
    EXPECT_TRUE(heard.empty());  // nothing is heard before the turn ends
    EXPECT_EQ(publisher.state().activity, "Refreshing Messages");

    EXPECT_EQ(queue.drain(), 1);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], (StateFieldSet{StateField::activity, StateField::search, StateField::refreshingSources}));
    EXPECT_FALSE(heard[0].contains(StateField::section));

    EXPECT_EQ(queue.drain(), 0);  // no writes, no notification
    EXPECT_EQ(heard.size(), 1u);
}

TEST_F(StatePublisherTest, AnObserversOwnWriteIsHeardInTheNextTurn) {
    const auto echo = publisher.observe([this](const StateFieldSet& changed) {
        if (changed.contains(StateField::search)) {
            publisher.setSelectedItemID(std::nullopt);
        }
    });
    const auto token = record();
    publisher.setSearch("x");
    EXPECT_EQ(queue.drain(), 2);  // the first notification, then the one the observer's write posted
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0], StateFieldSet{StateField::search});
    EXPECT_EQ(heard[1], StateFieldSet{StateField::selectedItemID});
}

TEST_F(StatePublisherTest, ADestroyedTokenEndsItsObservationEvenDuringANotification) {
    std::optional<ObservationToken> second;
    int secondCalls = 0;
    int firstCalls = 0;
    ObservationToken first = publisher.observe([&](const StateFieldSet&) {
        ++firstCalls;
        second.reset();  // the second observer goes away before its turn in this notification
        first.reset();   // and the first one ends itself
    });
    second = publisher.observe([&](const StateFieldSet&) { ++secondCalls; });
    publisher.setContactsOnly(true);
    queue.drain();
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 0);

    publisher.setContactsOnly(false);
    queue.drain();
    EXPECT_EQ(firstCalls, 1);

    // Observers added during a notification start hearing with the next one.
    std::optional<ObservationToken> late;
    int lateCalls = 0;
    const auto adder = publisher.observe([&](const StateFieldSet&) {
        if (!late) {
            late = publisher.observe([&](const StateFieldSet&) { ++lateCalls; });
        }
    });
    publisher.setSearch("a");
    queue.drain();
    EXPECT_EQ(lateCalls, 0);
    publisher.setSearch("b");
    queue.drain();
    EXPECT_EQ(lateCalls, 1);
}

TEST_F(StatePublisherTest, APublisherGoneBeforeItsNotificationLeavesNothingBehind) {
    auto shortLived = std::make_unique<StatePublisher>(queue);
    int calls = 0;
    ObservationToken token = shortLived->observe([&](const StateFieldSet&) { ++calls; });
    shortLived->setSection(Section::accounts);
    shortLived.reset();
    EXPECT_EQ(queue.drain(), 1);  // the posted notification finds nobody
    EXPECT_EQ(calls, 0);
    token.reset();  // a token that outlives its publisher ends quietly
}

TEST_F(StatePublisherTest, ReplacingTheWholeStateMarksEveryField) {
    const auto token = record();
    PublishedState next;
    next.activity = "Loaded";
    publisher.replaceAll(next);
    queue.drain();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].size(), stateFieldCount);
    EXPECT_EQ(publisher.state().activity, "Loaded");
}

}  // namespace
}  // namespace nudgerly
