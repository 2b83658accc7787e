#pragma once

#include <filesystem>
#include <string>

#include "core/UserFacingError.h"

namespace nudgerly {

// Why the Messages database could not be read. what() is the sentence the window shows.
class MessagesReaderError : public UserFacingError {
public:
    enum class Kind { queryFailed, fullDiskAccessRequired };

    // `databaseMessage` is SQLite's own description of what went wrong.
    static MessagesReaderError queryFailed(const std::string& databaseMessage);
    // `database` is the file that could not be opened.
    static MessagesReaderError fullDiskAccessRequired(const std::filesystem::path& database);

    Kind kind() const { return kind_; }

private:
    MessagesReaderError(Kind kind, const std::string& sentence) : UserFacingError(sentence), kind_(kind) {}

    Kind kind_;
};

}  // namespace nudgerly
