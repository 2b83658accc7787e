#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "core/JsonCoding.h"

namespace nudgerly {

// The identity provider's OAuth client the Gmail authorization uses. Values are not checked when read:
// empty texts and addresses that do not parse are accepted here and fail only when used.
struct OAuthClient {
    std::string clientID;      // "client_id"
    std::string clientSecret;  // "client_secret"; empty means none is sent
    std::string authURI;       // "auth_uri"
    std::string tokenURI;      // "token_uri"

    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static OAuthClient fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const OAuthClient&, const OAuthClient&) = default;
};

}  // namespace nudgerly
