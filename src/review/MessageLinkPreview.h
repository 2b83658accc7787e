#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/JsonCoding.h"

namespace nudgerly {

// A link shared in a message, shown as a rich preview.
struct MessageLinkPreview {
    std::optional<std::string> title;
    std::string domain;
    std::string url;
    std::optional<std::string> imagePath;  // a cached preview image on disk

    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static MessageLinkPreview fromJson(const nlohmann::json& value, const JsonCoding& coding = {});

    friend bool operator==(const MessageLinkPreview&, const MessageLinkPreview&) = default;
};

}  // namespace nudgerly

template <>
struct std::hash<nudgerly::MessageLinkPreview> {
    std::size_t operator()(const nudgerly::MessageLinkPreview& preview) const noexcept;
};
