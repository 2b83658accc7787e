#include "sources/gmail/oauth/OAuthClient.h"

namespace nudgerly {

nlohmann::json OAuthClient::toJson(const JsonCoding&) const {
    return {{"client_id", clientID}, {"client_secret", clientSecret}, {"auth_uri", authURI}, {"token_uri", tokenURI}};
}

OAuthClient OAuthClient::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& object = Json::object(value);
    return {.clientID = Json::required<std::string>(object, "client_id", coding),
            .clientSecret = Json::required<std::string>(object, "client_secret", coding),
            .authURI = Json::required<std::string>(object, "auth_uri", coding),
            .tokenURI = Json::required<std::string>(object, "token_uri", coding)};
}

}  // namespace nudgerly
