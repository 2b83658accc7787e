#include "localmodel/LocalModelClientSettings.h"

#include <cstdlib>

#include "localmodel/LocalServerLaunchPolicy.h"
#include "platform/system/InstallLocations.h"
#include "platform/system/PhysicalCores.h"

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

std::vector<std::pair<std::string, std::string>> LocalModelClientSettings::defaultServerEnvironment() {
    return LocalServerLaunchPolicy::environment(LocalServerLaunchPolicy::threadCount(PhysicalCores::ofThisComputer()));
}

}  // namespace nudgerly
