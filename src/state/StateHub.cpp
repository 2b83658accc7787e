#include "state/StateHub.h"

#include <utility>

#include "state/QueueDerivation.h"

namespace nudgerly {

StateHub::StateHub(MainQueue& mainQueue, const Clock& clock)
    : mainQueue_(mainQueue),
      clock_(clock),
      publisher_(mainQueue),
      lines_(publisher_, mainQueue),
      derived_(publisher_) {}

StateHub::~StateHub() = default;

Date StateHub::cutoff() const {
    return QueueDerivation::lookbackCutoff(state(), clock_.now(), calendar_);
}

void StateHub::publishSnapshot(ReviewSource source, std::shared_ptr<const ReviewSnapshot> snapshot,
                               SnapshotMemo::Answers answers) {
    derived_.memo().adopt(snapshot, std::move(answers));
    publisher_.setSnapshot(source, std::move(snapshot));
}

}  // namespace nudgerly
