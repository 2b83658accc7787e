#pragma once

#include <chrono>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Clock.h"
#include "platform/net/HttpClient.h"
#include "sources/gmail/oauth/OAuthClient.h"
#include "sources/gmail/oauth/OAuthTokens.h"

// The two grants at the OAuth client's token endpoint: a sign-in's authorization code for tokens, and
// a refresh token for a new access token.
namespace nudgerly::OAuthTokenExchange {

using FormFields = std::vector<std::pair<std::string, std::string>>;

// A token answer is a few hundred bytes; far larger ones are refused unread.
inline constexpr std::size_t largestAnswer = 1 << 20;
// The lifetime assumed when the answer names none.
inline constexpr int64_t defaultLifetimeSeconds = 3600;

// The fields that trade a sign-in's code for tokens; "client_secret" only when the client has one.
FormFields authorizationCodeFields(const OAuthClient& client, const std::string& code, const std::string& verifier,
                                   const std::string& redirectAddress);

// The fields that renew the access token; "client_secret" only when the client has one.
FormFields refreshFields(const OAuthClient& client, const std::string& refreshToken);

// The request body: the fields as "application/x-www-form-urlencoded", every byte but letters, digits
// and "-._~" escaped, so that a "+" or "&" in a value arrives as itself.
std::string formBody(const FormFields& fields);

// The tokens in the endpoint's answer, expiring `expires_in` (else 3600) seconds after `now`. Any
// status but 200 is a refusal: GmailError::google with the answer's "error_description", else its
// "error", else "Token exchange failed". A 200 answer that is not tokens throws JsonDecodingError.
OAuthTokens tokensFromAnswer(long status, std::string_view body, Date now);

// POSTs the fields as an "application/x-www-form-urlencoded" body to the client's token address and
// reads the answer as above. Throws GmailError::invalidOAuthClient when that address is not an http
// or https URL, HttpError for a transport failure and CancelledError when `stop` is requested.
OAuthTokens exchange(HttpClient& http, const OAuthClient& client, const FormFields& fields,
                     std::chrono::milliseconds timeout, const Clock& clock, std::stop_token stop);

}  // namespace nudgerly::OAuthTokenExchange
