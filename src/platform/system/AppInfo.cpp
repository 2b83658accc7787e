#include "platform/system/AppInfo.h"

#include "BuildSettings.h"
#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/JsonCoding.h"
#include "platform/system/InstallLocations.h"

namespace nudgerly {
namespace {

// The overlay names a handful of values; a larger file is not one and is not read.
constexpr std::size_t largestOverlay = 1024 * 1024;

}  // namespace

AppInfo::AppInfo(nlohmann::json dictionary) {
    if (dictionary.is_object()) {
        dictionary_ = std::move(dictionary);
    }
}

nlohmann::json AppInfo::compiledDefaults() {
    nlohmann::json values = {
        {"CFBundleIdentifier", NUDGERLY_BUNDLE_IDENTIFIER},
        {"CFBundleShortVersionString", NUDGERLY_SHORT_VERSION},
        {"CFBundleVersion", NUDGERLY_BUILD_NUMBER},
    };
    // An empty address is a build that leaves the choice to the service's own built-in address.
    if (std::string_view(NUDGERLY_FEEDBACK_ENDPOINT).size() > 0) {
        values["NudgerlyFeedbackEndpoint"] = NUDGERLY_FEEDBACK_ENDPOINT;
    }
    if (std::string_view(NUDGERLY_INSTALL_ENDPOINT).size() > 0) {
        values["NudgerlyInstallEndpoint"] = NUDGERLY_INSTALL_ENDPOINT;
    }
    return values;
}

AppInfo AppInfo::withOverlay(const std::filesystem::path& overlayFile) {
    nlohmann::json values = compiledDefaults();
    try {
        const nlohmann::json overlay = parseJson(readFile(overlayFile, largestOverlay));
        if (overlay.is_object()) {
            for (const auto& [key, value] : overlay.items()) {
                values[key] = value;
            }
        }
    } catch (const FileSystemError&) {
        // No overlay installed (or not readable): the built-in values stand.
    } catch (const JsonDecodingError&) {
        // A broken overlay is ignored rather than half applied.
    }
    return AppInfo(std::move(values));
}

AppInfo AppInfo::installed() {
    const auto folder = InstallLocations::programFolder();
    if (!folder) {
        return AppInfo(compiledDefaults());
    }
    return withOverlay(*folder / "info.json");
}

std::optional<nlohmann::json> AppInfo::value(std::string_view key) const {
    const auto it = dictionary_.find(key);
    if (it == dictionary_.end()) {
        return std::nullopt;
    }
    return *it;
}

std::optional<std::string> AppInfo::string(std::string_view key) const {
    const auto it = dictionary_.find(key);
    if (it == dictionary_.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

}  // namespace nudgerly
