#include "sources/gmail/oauth/GmailAuthorization.h"

#include <stdexcept>
#include <utility>
#include <vector>

#include "core/Base64.h"
#include "core/Sha256.h"
#include "core/UserFacingError.h"
#include "platform/formats/PercentEncoding.h"
#include "platform/formats/Url.h"
#include "sources/gmail/oauth/GmailError.h"

namespace nudgerly::GmailAuthorization {

std::string randomURLSafe(std::size_t byteCount, const RandomSource& source) {
    std::vector<uint8_t> bytes;
    try {
        bytes = source(byteCount);
    } catch (const std::runtime_error&) {
        throw UserFacingError(
            "Nudgerly could not start Gmail sign-in because the system's secure random source failed. Try "
            "connecting again.");
    }
    return Base64::encodeUrlSafe(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string codeChallenge(std::string_view verifier) {
    const auto digest = Sha256::digest(verifier);
    return Base64::encodeUrlSafe(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::string authorizationAddress(const OAuthClient& client, const std::string& redirectAddress,
                                 const std::string& state, const std::string& challenge) {
    const std::vector<std::pair<std::string, std::string>> items{
        {"client_id", client.clientID},
        {"redirect_uri", redirectAddress},
        {"response_type", "code"},
        {"scope", std::string(readOnlyScope)},
        {"access_type", "offline"},
        {"prompt", "consent"},
        {"state", state},
        {"code_challenge", challenge},
        {"code_challenge_method", "S256"},
    };
    const auto base = Url::parse(client.authURI);
    const auto address = base ? base->withQuery(PercentEncoding::formEncoded(items)) : std::nullopt;
    if (!address) {
        throw GmailError::invalidOAuthClient();
    }
    return address->string();
}

}  // namespace nudgerly::GmailAuthorization
