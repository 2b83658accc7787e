#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/JsonCoding.h"

namespace nudgerly {

// The token endpoint's error body. Decodes as the Gmail records do: a value of the wrong type fails
// the record with JsonDecodingError, an absent or null key reads as absent.
struct GoogleErrorResponse {
    std::optional<std::string> error;
    std::optional<std::string> errorDescription;  // "error_description"

    static GoogleErrorResponse fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const GoogleErrorResponse&, const GoogleErrorResponse&) = default;
};

}  // namespace nudgerly
