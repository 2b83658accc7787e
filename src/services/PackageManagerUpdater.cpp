#include "services/PackageManagerUpdater.h"

namespace nudgerly {

std::optional<std::string> PackageManagerUpdater::checkForUpdates() {
    return versionLabel_ + " is installed. Updates come from your system's package manager.";
}

}  // namespace nudgerly
