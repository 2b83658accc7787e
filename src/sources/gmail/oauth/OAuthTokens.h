#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "core/CodedField.h"
#include "core/Date.h"
#include "core/JsonCoding.h"

namespace nudgerly {

// The connected account's OAuth tokens: the token endpoint's answer and, with the expiry and the
// address added, the stored secret. Dates are seconds since 2001-01-01, as stored tokens always were.
struct OAuthTokens {
    std::string accessToken;
    std::optional<std::string> refreshToken;
    std::optional<int64_t> expiresIn;  // seconds, as the endpoint gave them
    std::optional<Date> expiresAt;     // set when the tokens arrive, never taken from the endpoint
    std::optional<std::string> scope;
    std::optional<std::string> tokenType;
    std::optional<std::string> email;  // the account's address, from its profile

    static constexpr auto codedFields() {
        return std::tuple{
            CodedField{"access_token", &OAuthTokens::accessToken},
            CodedField{"refresh_token", &OAuthTokens::refreshToken},
            CodedField{"expires_in", &OAuthTokens::expiresIn},
            CodedField{"expires_at", &OAuthTokens::expiresAt},
            CodedField{"scope", &OAuthTokens::scope},
            CodedField{"token_type", &OAuthTokens::tokenType},
            CodedField{"email", &OAuthTokens::email},
        };
    }

    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static OAuthTokens fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    friend bool operator==(const OAuthTokens&, const OAuthTokens&) = default;

    // The stored form: compact JSON.
    std::string encoded() const;
    // Absent when the text is not stored tokens.
    static std::optional<OAuthTokens> decoded(std::string_view text);

    // True when the access token serves at least `margin` seconds past `now`; tokens without an
    // expiry never do.
    bool isValid(Date now, double margin) const;

    // These tokens renewed by a refresh answer: its access token and expiry, its scope when it has one;
    // the refresh token (even when the answer brings a new one), lifetime, type and address stay.
    OAuthTokens renewedWith(const OAuthTokens& answer) const;
};

}  // namespace nudgerly
