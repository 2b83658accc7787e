#pragma once

#include <filesystem>
#include <optional>
#include <stop_token>

#include "state/PreparedSnapshot.h"

namespace nudgerly {

// The saved queue of each source as start-up reads them, off the main thread and each on a worker of
// its own: absent when its file is missing, unreadable or does not decode.
struct SavedQueues {
    std::optional<PreparedSnapshot> messages;
    std::optional<PreparedSnapshot> gmail;
    int arrived = 0;  // how many of the two reads have ended

    // Reads and decodes one file. Throws CancelledError once `stop` is requested.
    static std::optional<PreparedSnapshot> read(const std::filesystem::path& file, std::stop_token stop);
};

}  // namespace nudgerly
