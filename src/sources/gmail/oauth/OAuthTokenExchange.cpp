#include "sources/gmail/oauth/OAuthTokenExchange.h"

#include "platform/formats/PercentEncoding.h"
#include "platform/formats/Url.h"
#include "sources/gmail/oauth/GmailError.h"
#include "sources/gmail/oauth/GoogleErrorResponse.h"

namespace nudgerly::OAuthTokenExchange {
namespace {

void addSecret(FormFields& fields, const OAuthClient& client) {
    if (!client.clientSecret.empty()) {
        fields.emplace_back("client_secret", client.clientSecret);
    }
}

std::string refusalMessage(std::string_view body) {
    try {
        const auto refusal = GoogleErrorResponse::fromJson(parseJson(body));
        return refusal.errorDescription.value_or(refusal.error.value_or("Token exchange failed"));
    } catch (const JsonDecodingError&) {
        return "Token exchange failed";
    }
}

}  // namespace

FormFields authorizationCodeFields(const OAuthClient& client, const std::string& code, const std::string& verifier,
                                   const std::string& redirectAddress) {
    FormFields fields{{"client_id", client.clientID},
                      {"code", code},
                      {"code_verifier", verifier},
                      {"grant_type", "authorization_code"},
                      {"redirect_uri", redirectAddress}};
    addSecret(fields, client);
    return fields;
}

FormFields refreshFields(const OAuthClient& client, const std::string& refreshToken) {
    FormFields fields{{"client_id", client.clientID}, {"refresh_token", refreshToken}, {"grant_type", "refresh_token"}};
    addSecret(fields, client);
    return fields;
}

std::string formBody(const FormFields& fields) {
    return PercentEncoding::formEncoded(fields);
}

OAuthTokens tokensFromAnswer(long status, std::string_view body, Date now) {
    if (status != 200) {
        throw GmailError::google(refusalMessage(body));
    }
    OAuthTokens tokens = OAuthTokens::fromJson(parseJson(body));
    tokens.expiresAt = now.addingSeconds(static_cast<double>(tokens.expiresIn.value_or(defaultLifetimeSeconds)));
    return tokens;
}

OAuthTokens exchange(HttpClient& http, const OAuthClient& client, const FormFields& fields,
                     std::chrono::milliseconds timeout, const Clock& clock, std::stop_token stop) {
    if (!isWebAddress(client.tokenURI)) {
        throw GmailError::invalidOAuthClient();
    }
    const HttpRequest request{
        .method = "POST",
        .url = client.tokenURI,
        .headers = {{"Content-Type", "application/x-www-form-urlencoded"}},
        .body = formBody(fields),
        .timeout = timeout,
        .maxResponseBytes = largestAnswer,
    };
    const HttpResponse response = http.send(request, stop);
    return tokensFromAnswer(response.status, response.body, clock.now());
}

}  // namespace nudgerly::OAuthTokenExchange
