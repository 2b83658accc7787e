#pragma once

#include <memory>
#include <stop_token>

#include "review/ReviewSnapshot.h"
#include "state/SnapshotMemo.h"

namespace nudgerly {

// A snapshot about to be published, shared, with what the queue derivation works out from its items,
// both made on the worker that read or made the snapshot, so that the main thread only publishes.
struct PreparedSnapshot {
    std::shared_ptr<const ReviewSnapshot> snapshot;
    SnapshotMemo::Answers answers;

    // On any thread. Throws CancelledError once `stop` is requested.
    static PreparedSnapshot of(ReviewSnapshot snapshot, std::stop_token stop);
};

}  // namespace nudgerly
