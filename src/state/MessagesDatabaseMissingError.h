#pragma once

#include <filesystem>

#include "core/UserFacingError.h"
#include "platform/system/UserFolders.h"

namespace nudgerly {

// Messages is asked for and the database it reads is not there (or cannot be opened).
class MessagesDatabaseMissingError : public UserFacingError {
public:
    explicit MessagesDatabaseMissingError(const std::filesystem::path& database)
        : UserFacingError("No Messages database at " + UserFolders::shown(database) + ".") {}
};

}  // namespace nudgerly
