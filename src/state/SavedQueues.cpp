#include "state/SavedQueues.h"

#include "core/CancelledError.h"
#include "storage/SnapshotStore.h"

namespace nudgerly {

std::optional<PreparedSnapshot> SavedQueues::read(const std::filesystem::path& file, std::stop_token stop) {
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    std::optional<ReviewSnapshot> snapshot = SnapshotStore::load(file, stop);
    if (!snapshot) {
        return std::nullopt;
    }
    return PreparedSnapshot::of(std::move(*snapshot), stop);
}

}  // namespace nudgerly
