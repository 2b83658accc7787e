#include "sources/messages/MessagesDatabasePath.h"

#include <cstdlib>

#include "platform/system/UserFolders.h"

namespace nudgerly {

std::filesystem::path messagesDatabasePath() {
    if (const char* chosen = std::getenv("NUDGERLY_MESSAGES_DATABASE"); chosen != nullptr && *chosen != '\0') {
        return std::filesystem::absolute(chosen);
    }
    return UserFolders::home() / "Library" / "Messages" / "chat.db";
}

}  // namespace nudgerly
