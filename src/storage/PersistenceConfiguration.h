#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/system/AppInfo.h"

// The names under which this build keeps its files and secrets. Only the production bundle identifier
// uses the plain names, so development builds never touch the user's real data.
namespace nudgerly::PersistenceConfiguration {

inline constexpr std::string_view productionBundleIdentifier = "com.veldo.nudgerly";

struct Values {
    std::optional<std::string> nonProductionSuffix;
    std::string applicationSupportDirectoryName;
    std::string keychainService;

    friend bool operator==(const Values&, const Values&) = default;
};

// Absent for no identifier or the production one; otherwise the identifier with every character
// outside A-Z, a-z, 0-9, ".", "_" and "-" replaced by "-".
std::optional<std::string> nonProductionSuffix(const std::optional<std::string>& bundleIdentifier);

// The dictionary's string under `key`, trimmed, when that is not blank; `defaultValue` otherwise
// (missing key, another type, blank text).
std::string infoValue(const AppInfo& info, std::string_view key, std::string defaultValue);

// The names for a given information dictionary (its bundle identifier and overrides).
Values compute(const AppInfo& info);

}  // namespace nudgerly::PersistenceConfiguration
