#include "localmodel/LocalModelClientSettings.h"

#include <cstdlib>

#include "localmodel/LocalServerLaunchPolicy.h"
#include "platform/system/InstallLocations.h"

namespace nudgerly {

std::optional<std::string> LocalModelClientSettings::processEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::filesystem::path> LocalModelClientSettings::defaultRuntimeFolder() {
    return InstallLocations::privateLibraryFolder();
}

std::optional<std::filesystem::path> LocalModelClientSettings::defaultResourceFolder() {
    return InstallLocations::resourceFolder();
}

int LocalModelClientSettings::defaultDrawPort(const std::set<int>& excluding) {
    return LocalServerLaunchPolicy::randomPort(excluding);
}

}  // namespace nudgerly
