#pragma once

#include <filesystem>
#include <stop_token>
#include <string>

namespace nudgerly {

// Hands a link or a folder to the program the desktop opens it with.
class SystemOpener {
public:
    virtual ~SystemOpener() = default;

    // A conversation's link ("sms:" into Messages, a web link into Gmail): true once a program took
    // it; false for links of other kinds and links no program on the machine opens, so the user can be
    // told. Blocks for a few seconds at most, so call it off the main thread; throws CancelledError
    // when `stop` is requested meanwhile.
    virtual bool openLink(const std::string& url, std::stop_token stop) = 0;
    // A folder the program itself names (the contacts folder, the Messages database's folder). Main
    // thread; never waits for the file manager.
    virtual void openFolder(const std::filesystem::path& folder) = 0;
};

}  // namespace nudgerly
