#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sources/gmail/oauth/OAuthClient.h"

// The browser side of the Gmail sign-in: the authorization code flow with PKCE (S256), asking for
// read-only access.
namespace nudgerly::GmailAuthorization {

inline constexpr std::string_view readOnlyScope = "https://www.googleapis.com/auth/gmail.readonly";
inline constexpr std::size_t verifierByteCount = 48;  // 64 characters
inline constexpr std::size_t stateByteCount = 24;     // 32 characters

// Where random bytes come from: the system's cryptographic source (secureRandomBytes), which throws
// when it fails.
using RandomSource = std::function<std::vector<uint8_t>(std::size_t)>;

// `byteCount` bytes of `source` as unpadded base64url. Throws a UserFacingError when the source
// fails: a sign-in must never run on guessable values.
std::string randomURLSafe(std::size_t byteCount, const RandomSource& source);

// The PKCE challenge of a verifier: its SHA-256 as unpadded base64url (43 characters).
std::string codeChallenge(std::string_view verifier);

// The client's authorization address with its query replaced by the sign-in's nine items. Throws
// GmailError::invalidOAuthClient when the client's address does not parse.
std::string authorizationAddress(const OAuthClient& client, const std::string& redirectAddress,
                                 const std::string& state, const std::string& challenge);

}  // namespace nudgerly::GmailAuthorization
