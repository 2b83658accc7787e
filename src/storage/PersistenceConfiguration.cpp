#include "storage/PersistenceConfiguration.h"

#include "core/Regex.h"
#include "core/Text.h"

namespace nudgerly::PersistenceConfiguration {

std::optional<std::string> nonProductionSuffix(const std::optional<std::string>& bundleIdentifier) {
    if (!bundleIdentifier || *bundleIdentifier == productionBundleIdentifier) {
        return std::nullopt;
    }
    static const Regex unsafe("[^A-Za-z0-9._-]");
    return unsafe.replacingAll(*bundleIdentifier, "-");
}

std::string infoValue(const AppInfo& info, std::string_view key, std::string defaultValue) {
    if (const auto value = info.string(key)) {
        std::string trimmed = text::trimmed(*value);
        if (!trimmed.empty()) {
            return trimmed;
        }
    }
    return defaultValue;
}

namespace {

// The data folder must be one folder of its own: deleting local data empties it. A name such as "."
// or "a/.." would point at the shared data home itself.
bool isSingleFolderName(std::string_view name) {
    return name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

}  // namespace

Values compute(const AppInfo& info) {
    auto suffix = nonProductionSuffix(info.bundleIdentifier());
    const std::string directoryName = suffix ? "Nudgerly-" + *suffix : "Nudgerly";
    std::string service = suffix ? "com.nudgerly.local." + *suffix : "com.nudgerly.local";
    std::string chosenDirectoryName = infoValue(info, "NudgerlyApplicationSupportDirectoryName", directoryName);
    if (!isSingleFolderName(chosenDirectoryName)) {
        chosenDirectoryName = directoryName;
    }
    return {
        .nonProductionSuffix = std::move(suffix),
        .applicationSupportDirectoryName = std::move(chosenDirectoryName),
        .keychainService = infoValue(info, "NudgerlyKeychainService", std::move(service)),
    };
}

}  // namespace nudgerly::PersistenceConfiguration
