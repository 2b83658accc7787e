#include "state/SavedQueues.h"

#include "core/CancelledError.h"
#include "storage/SnapshotStore.h"

namespace nudgerly {

namespace {

std::optional<PreparedSnapshot> readOne(const std::filesystem::path& file, std::stop_token stop) {
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    std::optional<ReviewSnapshot> snapshot = SnapshotStore::load(file);
    if (!snapshot) {
        return std::nullopt;
    }
    return PreparedSnapshot::of(std::move(*snapshot), stop);
}

}  // namespace

SavedQueues SavedQueues::read(const std::filesystem::path& messagesFile, const std::filesystem::path& gmailFile,
                              std::stop_token stop) {
    SavedQueues queues;
    queues.messages = readOne(messagesFile, stop);
    queues.gmail = readOne(gmailFile, stop);
    return queues;
}

}  // namespace nudgerly
