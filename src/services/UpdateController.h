#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/system/AppInfo.h"
#include "services/Updater.h"

namespace nudgerly {

// The program's one holder of the software updater, made once for the life of the process. Making it
// starts the updater; the menu and the accounts page ask it to check. Main thread only.
class UpdateController {
public:
    UpdateController(const AppInfo& info, std::unique_ptr<Updater> updater);
    UpdateController(const UpdateController&) = delete;
    UpdateController& operator=(const UpdateController&) = delete;

    // "Nudgerly 1.4 (27)": the version and build, each "Unknown" when the information dictionary lacks it.
    static std::string versionLabel(const AppInfo& info);
    const std::string& versionLabel() const { return versionLabel_; }

    // Passes a user's request on to the updater, every time; returns the sentence to show, if any.
    std::optional<std::string> checkForUpdates();

private:
    std::string versionLabel_;
    std::unique_ptr<Updater> updater_;
};

}  // namespace nudgerly
