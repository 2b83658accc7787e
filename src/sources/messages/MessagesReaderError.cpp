#include "sources/messages/MessagesReaderError.h"

#include "platform/system/UserFolders.h"

namespace nudgerly {

MessagesReaderError MessagesReaderError::queryFailed(const std::string& databaseMessage) {
    return {Kind::queryFailed, "Messages could not be read: " + databaseMessage};
}

MessagesReaderError MessagesReaderError::fullDiskAccessRequired(const std::filesystem::path& database) {
    return {Kind::fullDiskAccessRequired, "Nudgerly needs the Messages database from a Mac at " +
                                              UserFolders::shown(database) + " to read your Messages history."};
}

}  // namespace nudgerly
