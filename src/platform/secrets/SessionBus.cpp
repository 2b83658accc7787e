#include "platform/secrets/SessionBus.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

namespace nudgerly::SessionBus {

bool isConfigured(const char* addressVariable, const char* runtimeDirectory) {
    if (addressVariable != nullptr && *addressVariable != '\0') {
        // A listed autolaunch entry would start a bus daemon whenever the ones before it fail.
        return std::string_view(addressVariable).find("autolaunch:") == std::string_view::npos;
    }
    if (runtimeDirectory == nullptr || *runtimeDirectory != '/') {
        return false;
    }
    // The same test the bus library makes before it uses this socket: ours, and a socket.
    const std::filesystem::path socket = std::filesystem::path(runtimeDirectory) / "bus";
    struct stat info {};
    return ::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::geteuid();
}

bool isConfigured() {
    return isConfigured(std::getenv("DBUS_SESSION_BUS_ADDRESS"), std::getenv("XDG_RUNTIME_DIR"));
}

}  // namespace nudgerly::SessionBus
