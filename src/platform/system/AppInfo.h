#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace nudgerly {

// The application's information dictionary: the values fixed when the program was built ("CFBundleIdentifier",
// "CFBundleShortVersionString", "CFBundleVersion" and the service endpoints), overlaid key by key with an
// optional "info.json" installed beside the program. Values keep their JSON type, so readers that want
// text can tell a string from a number and ignore the latter.
class AppInfo {
public:
    // An empty dictionary.
    AppInfo() = default;
    // The members of `dictionary`; anything but a JSON object gives an empty dictionary.
    explicit AppInfo(nlohmann::json dictionary);

    // The values built into the program.
    static nlohmann::json compiledDefaults();

    // The built-in values with the members of the JSON object in `overlayFile` on top. A missing
    // file, one that is not a JSON object, or one larger than 1 MiB, leaves the built-in values alone.
    static AppInfo withOverlay(const std::filesystem::path& overlayFile);

    // The installed program's dictionary: the built-in values overlaid by "info.json" in the program's
    // folder, read now.
    static AppInfo installed();

    const nlohmann::json& dictionary() const { return dictionary_; }
    bool empty() const { return dictionary_.empty(); }

    // The value stored under `key`, of whatever type, or absent.
    std::optional<nlohmann::json> value(std::string_view key) const;
    // The value when it is a string; absent when it is missing or of another type.
    std::optional<std::string> string(std::string_view key) const;

    // "CFBundleIdentifier" when it is a string.
    std::optional<std::string> bundleIdentifier() const { return string("CFBundleIdentifier"); }

private:
    nlohmann::json dictionary_ = nlohmann::json::object();
};

}  // namespace nudgerly
