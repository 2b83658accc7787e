#pragma once

#include <cstdint>
#include <filesystem>

#include "chatdb/MessagesBulkGenerator.h"
#include "core/Date.h"

// A home folder of made-up data that the program can be started on: HOME and the XDG folders pointed
// at it, it finds a Messages database, an address book and contacts access already granted. Free of
// the test framework.
namespace nudgerly::test {

struct DemoHome {
    std::filesystem::path home;
    std::filesystem::path dataHome;    // XDG_DATA_HOME
    std::filesystem::path configHome;  // XDG_CONFIG_HOME
    std::filesystem::path database;    // Library/Messages/chat.db
    std::filesystem::path contactsFolder;
    std::filesystem::path accessDecision;
    BulkContents contents;
};

// Lays the home out in `folder`, which must be empty or not exist yet (so that a real home is never
// written over): a chat.db of a few dozen conversations of the last month with their preview pictures,
// among them the showcase of DemoShowcase.h, vCards for most of the people, and the contacts access
// decision of the program's configuration folder. Group members address the user by `userFirstName`. Throws
// std::runtime_error.
DemoHome layOutDemoHome(const std::filesystem::path& folder, const std::string& userFirstName, uint64_t seed = 27,
                        Date now = Date::now());

}  // namespace nudgerly::test
