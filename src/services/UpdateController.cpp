#include "services/UpdateController.h"

namespace nudgerly {

UpdateController::UpdateController(const AppInfo& info, std::unique_ptr<Updater> updater)
    : versionLabel_(versionLabel(info)), updater_(std::move(updater)) {
    updater_->start();
}

std::string UpdateController::versionLabel(const AppInfo& info) {
    return "Nudgerly " + info.string("CFBundleShortVersionString").value_or("Unknown") + " (" +
           info.string("CFBundleVersion").value_or("Unknown") + ")";
}

std::optional<std::string> UpdateController::checkForUpdates() {
    return updater_->checkForUpdates();
}

}  // namespace nudgerly
