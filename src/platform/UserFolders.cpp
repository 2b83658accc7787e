#include "platform/UserFolders.h"

#include <cstdlib>
#include <optional>
#include <vector>

#include <pwd.h>
#include <unistd.h>

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
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr) {
        return std::nullopt;
    }
    std::filesystem::path path(found->pw_dir);
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

}  // namespace nudgerly::UserFolders
