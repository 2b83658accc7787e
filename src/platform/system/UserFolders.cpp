#include "platform/system/UserFolders.h"

#include <cstdlib>
#include <optional>

#include "platform/system/UserAccount.h"

namespace nudgerly::UserFolders {
namespace {

// The XDG rules ignore relative paths in these variables.
std::optional<std::filesystem::path> absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    std::filesystem::path path(value);
    if (!path.is_absolute()) {
        return std::nullopt;
    }
    return path;
}

std::optional<std::filesystem::path> accountHome() {
    const auto account = UserAccount::current();
    if (!account) {
        return std::nullopt;
    }
    std::filesystem::path path(account->home);
    if (!path.is_absolute()) {
        return std::nullopt;
    }
    return path;
}

}  // namespace

std::filesystem::path home() {
    if (auto path = absoluteFromEnvironment("HOME")) {
        return *path;
    }
    return accountHome().value_or("/");
}

std::filesystem::path dataHome() {
    return absoluteFromEnvironment("XDG_DATA_HOME").value_or(home() / ".local" / "share");
}

std::filesystem::path configHome() {
    return absoluteFromEnvironment("XDG_CONFIG_HOME").value_or(home() / ".config");
}

std::string shown(const std::filesystem::path& path) {
    const std::filesystem::path folder = home();
    const std::filesystem::path inside = path.lexically_relative(folder);
    if (folder == "/" || inside.empty() || *inside.begin() == "..") {
        return path.string();
    }
    return inside == "." ? "~" : "~/" + inside.string();
}

}  // namespace nudgerly::UserFolders
