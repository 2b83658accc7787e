#include "sources/gmail/oauth/OAuthTokens.h"

namespace nudgerly {

nlohmann::json OAuthTokens::toJson(const JsonCoding& coding) const {
    return Json::writeFields(*this, coding);
}

OAuthTokens OAuthTokens::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    return Json::readFields<OAuthTokens>(value, coding);
}

std::string OAuthTokens::encoded() const {
    return toJson().dump();
}

std::optional<OAuthTokens> OAuthTokens::decoded(std::string_view text) {
    try {
        return fromJson(parseJson(text));
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

bool OAuthTokens::isValid(Date now, double margin) const {
    return expiresAt && *expiresAt > now.addingSeconds(margin);
}

OAuthTokens OAuthTokens::renewedWith(const OAuthTokens& answer) const {
    OAuthTokens renewed = *this;
    renewed.accessToken = answer.accessToken;
    renewed.expiresAt = answer.expiresAt;
    if (answer.scope) {
        renewed.scope = answer.scope;
    }
    return renewed;
}

}  // namespace nudgerly
