#pragma once

#include <filesystem>

namespace nudgerly {

// The Messages database the program reads: NUDGERLY_MESSAGES_DATABASE when it is set and not empty,
// otherwise "Library/Messages/chat.db" in the home folder (where a copy from a Mac is placed). Read
// afresh on every call; the permission probe and the reader both use it.
std::filesystem::path messagesDatabasePath();

}  // namespace nudgerly
