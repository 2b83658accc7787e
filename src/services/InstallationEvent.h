#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace nudgerly {

// The one-time anonymous install event: a random identifier, the program's version and build, and the
// platform; nothing about the user or their data.
struct InstallationEvent {
    std::string eventID;
    std::string appVersion;
    std::string buildNumber;
    std::string platform;

    // The four members under snake-case keys, all strings.
    nlohmann::json toJson() const;

    friend bool operator==(const InstallationEvent&, const InstallationEvent&) = default;
};

}  // namespace nudgerly
