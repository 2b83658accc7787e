#pragma once

#include <filesystem>
#include <string>

namespace nudgerly {

// Hands a link or a folder to the program the desktop opens it with. Main thread; never waits for
// that program.
class SystemOpener {
public:
    virtual ~SystemOpener() = default;

    // A conversation's link ("sms:" into Messages, a web link into Gmail). Links of other kinds, and
    // links that cannot be opened, are ignored.
    virtual void openLink(const std::string& url) = 0;
    // A folder the program itself names (the contacts folder, the Messages database's folder).
    virtual void openFolder(const std::filesystem::path& folder) = 0;
};

}  // namespace nudgerly
