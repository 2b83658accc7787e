#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/Clock.h"
#include "core/Date.h"
#include "review/ReviewItem.h"
#include "review/ReviewSnapshot.h"
#include "state/PublishedState.h"

// Named states of the state object for the screen tests and the screenshot tool: one place that knows
// what a first run, a download in progress or a refresh looks like. Free of any test framework.
namespace nudgerly::test {

// 2026-03-10T19:00:00Z, noon in Los Angeles: the moment every fixture is seen at.
Date fixtureNow();

// A wall clock that stands still, for pictures and tests that must read the same every time.
class FixedClock final : public Clock {
public:
    explicit FixedClock(Date now = fixtureNow()) : now_(now) {}
    Date now() const override { return now_; }
    std::chrono::steady_clock::time_point steadyNow() const override { return {}; }

private:
    Date now_;
};

// Queue items of both sources and every status, aged from today to three weeks, one without a
// timestamp, one with a long name and summary.
std::vector<ReviewItem> fixtureItems(ReviewSource source, Date now);
// Items whose names and texts look like markup, to show that the window never reads them as markup.
std::vector<ReviewItem> markupItems(Date now);
// A saved queue of a source, refreshed an hour before `now`.
std::shared_ptr<const ReviewSnapshot> fixtureSnapshot(ReviewSource source, Date now, std::vector<ReviewItem> items);

// The state with the item `id` of `source` changed by `change` (a new snapshot; the old one is shared
// and never edited) and selected.
PublishedState withSelectedItem(PublishedState state, ReviewSource source, std::string_view id,
                                const std::function<void(ReviewItem&)>& change = {});

struct StateFixture {
    std::string name;
    std::string description;
    std::function<PublishedState(Date now)> make;
};

// Every named state, in a stable order.
const std::vector<StateFixture>& stateFixtures();
// The named state; throws std::invalid_argument for an unknown name.
PublishedState stateFixture(std::string_view name, Date now = fixtureNow());

// The completion identities of every item in the state's snapshots: marking them all completed empties
// the open queue.
std::unordered_set<std::string> everyCompletionIdentity(const PublishedState& state);

}  // namespace nudgerly::test
