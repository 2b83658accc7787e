#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nudgerly::Base64 {

// Standard alphabet with "=" padding.
std::string encode(std::string_view bytes);
// Absent for text that is not padded standard Base64.
std::optional<std::string> decode(std::string_view text);

// URL-safe alphabet ("-" and "_"), no padding.
std::string encodeUrlSafe(std::string_view bytes);

}  // namespace nudgerly::Base64
