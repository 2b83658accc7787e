#include "sources/messages/MessagesReaderError.h"

namespace nudgerly {

MessagesReaderError MessagesReaderError::queryFailed(const std::string& databaseMessage) {
    return {Kind::queryFailed, "Messages could not be read: " + databaseMessage};
}

MessagesReaderError MessagesReaderError::fullDiskAccessRequired() {
    return {Kind::fullDiskAccessRequired, "Nudgerly needs Full Disk Access to read your local Messages history."};
}

}  // namespace nudgerly
