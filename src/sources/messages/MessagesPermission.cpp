#include "sources/messages/MessagesPermission.h"

#include <sqlite3.h>

#include "sources/messages/MessagesDatabasePath.h"

namespace nudgerly {

MessagesPermission currentMessagesPermission(const std::filesystem::path& databasePath) {
    sqlite3* database = nullptr;
    const int result = sqlite3_open_v2(databasePath.c_str(), &database, SQLITE_OPEN_READONLY, nullptr);
    if (database != nullptr) {
        sqlite3_close(database);
    }
    return result == SQLITE_OK ? MessagesPermission::granted : MessagesPermission::denied;
}

MessagesPermission currentMessagesPermission() {
    return currentMessagesPermission(messagesDatabasePath());
}

}  // namespace nudgerly
