#include "classifier/SnapshotRunGate.h"

#include <algorithm>

namespace nudgerly {

bool SnapshotRunGate::acquire(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (!held_ && !stop.stop_requested()) {
        held_ = true;
        return true;
    }
    if (stop.stop_requested()) {
        return false;
    }
    const uint64_t ticket = nextTicket_++;
    waiting_.push_back(ticket);
    if (turnChanged_.wait(lock, stop, [&] { return admitted_ == ticket; })) {
        admitted_.reset();
        return true;
    }
    if (admitted_ == ticket) {
        // The turn came together with the stop: hand it straight on instead of taking it.
        admitted_.reset();
        passOnLocked();
    } else {
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
    }
    return false;
}

uint64_t SnapshotRunGate::waitingCount() {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

void SnapshotRunGate::release() {
    std::lock_guard lock(mutex_);
    passOnLocked();
}

// The gate goes straight to the first waiter, so no newcomer can slip in between.
void SnapshotRunGate::passOnLocked() {
    if (waiting_.empty()) {
        held_ = false;
        return;
    }
    admitted_ = waiting_.front();
    waiting_.pop_front();
    turnChanged_.notify_all();
}

}  // namespace nudgerly
