#pragma once

#include <filesystem>
#include <optional>
#include <stop_token>

#include "state/PreparedSnapshot.h"

namespace nudgerly {

// The saved queue of each source as start-up reads it, off the main thread: absent when its file is
// missing, unreadable or does not decode.
struct SavedQueues {
    std::optional<PreparedSnapshot> messages;
    std::optional<PreparedSnapshot> gmail;

    // Reads and decodes one file after the other, so that one file's text and tree are held at a time.
    // Throws CancelledError once `stop` is requested.
    static SavedQueues read(const std::filesystem::path& messagesFile, const std::filesystem::path& gmailFile,
                            std::stop_token stop);
};

}  // namespace nudgerly
