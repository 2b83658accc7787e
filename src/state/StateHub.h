#pragma once

#include <memory>

#include "core/Clock.h"
#include "core/Date.h"
#include "core/MainQueue.h"
#include "platform/system/LocalCalendar.h"
#include "review/ReviewSnapshot.h"
#include "review/ReviewSource.h"
#include "state/DerivedQueue.h"
#include "state/PublishedState.h"
#include "state/SnapshotMemo.h"
#include "state/StatePublisher.h"
#include "state/StatusLines.h"

namespace nudgerly {

// The publishing machinery behind the window's interface (AppStateView): the published state with its
// publisher, the owner of the two shown lines, and the cache of the derived queue with the calendar the
// lookback is measured in. The state object and the tests' fake each own one. Main thread only.
class StateHub {
public:
    StateHub(MainQueue& mainQueue, const Clock& clock);
    ~StateHub();
    StateHub(const StateHub&) = delete;
    StateHub& operator=(const StateHub&) = delete;

    const PublishedState& state() const { return publisher_.state(); }
    StatePublisher& publisher() { return publisher_; }
    StatusLines& lines() { return lines_; }
    MainQueue& mainQueue() const { return mainQueue_; }
    const Clock& clock() const { return clock_; }
    // Calendar arithmetic and formatting in the user's zone; it remembers nothing the state depends on.
    LocalCalendar& calendar() const { return calendar_; }
    // What is worked out from the published state, once per change of the fields it comes from.
    DerivedQueue& derived() const { return derived_; }

    // The cut-off of the lookback for the current moment.
    Date cutoff() const;
    // Publishes `snapshot` with what the derivation needs of it, worked out off the main thread.
    void publishSnapshot(ReviewSource source, std::shared_ptr<const ReviewSnapshot> snapshot,
                         SnapshotMemo::Answers answers);

private:
    MainQueue& mainQueue_;
    const Clock& clock_;
    StatePublisher publisher_;
    StatusLines lines_;
    mutable LocalCalendar calendar_;
    mutable DerivedQueue derived_;
};

}  // namespace nudgerly
