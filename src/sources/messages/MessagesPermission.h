#pragma once

#include <filesystem>

namespace nudgerly {

// Whether the Messages database can be read at all (it is there and the user may read it).
enum class MessagesPermission { granted, denied };

// Granted when SQLite opens the database read-only; nothing is read from it, so a file that opens but
// cannot be queried still counts as granted. Safe from any thread.
MessagesPermission currentMessagesPermission(const std::filesystem::path& databasePath);
// The same for the database at `messagesDatabasePath()`.
MessagesPermission currentMessagesPermission();

}  // namespace nudgerly
