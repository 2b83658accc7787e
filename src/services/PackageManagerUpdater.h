#pragma once

#include <optional>
#include <string>

#include "services/Updater.h"

namespace nudgerly {

// The updater of a program installed through the system's package manager: updates come from there,
// so it starts nothing, never touches the network and answers a check with a notice saying so.
class PackageManagerUpdater : public Updater {
public:
    // `versionLabel` names the installed version in the notice ("Nudgerly 1.4 (27)").
    explicit PackageManagerUpdater(std::string versionLabel) : versionLabel_(std::move(versionLabel)) {}

    void start() override {}
    std::optional<std::string> checkForUpdates() override;

private:
    std::string versionLabel_;
};

}  // namespace nudgerly
