#include "review/MessageLinkPreview.h"

#include "core/Hashing.h"

namespace nudgerly {

nlohmann::json MessageLinkPreview::toJson(const JsonCoding& coding) const {
    nlohmann::json j = nlohmann::json::object();
    Json::setOptional(j, "title", title, coding);
    Json::set(j, "domain", domain, coding);
    Json::set(j, "url", url, coding);
    Json::setOptional(j, "imagePath", imagePath, coding);
    return j;
}

MessageLinkPreview MessageLinkPreview::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& j = Json::object(value);
    return {
        .title = Json::optional<std::string>(j, "title", coding),
        .domain = Json::required<std::string>(j, "domain", coding),
        .url = Json::required<std::string>(j, "url", coding),
        .imagePath = Json::optional<std::string>(j, "imagePath", coding),
    };
}

}  // namespace nudgerly

std::size_t std::hash<nudgerly::MessageLinkPreview>::operator()(const nudgerly::MessageLinkPreview& p) const noexcept {
    return nudgerly::hashFields(p.title, p.domain, p.url, p.imagePath);
}
