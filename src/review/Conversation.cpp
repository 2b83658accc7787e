#include "review/Conversation.h"

namespace nudgerly {

nlohmann::json Conversation::toJson(const JsonCoding& coding) const {
    nlohmann::json j = nlohmann::json::object();
    Json::set(j, "id", id, coding);
    Json::set(j, "source", source, coding);
    Json::set(j, "person", person, coding);
    Json::setOptional(j, "target", target, coding);
    Json::setOptional(j, "subject", subject, coding);
    Json::set(j, "messages", messages, coding);
    Json::setOptional(j, "openURL", openURL, coding);
    Json::setOptional(j, "isKnownContact", isKnownContact, coding);
    return j;
}

Conversation Conversation::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& j = Json::object(value);
    return {
        .id = Json::required<std::string>(j, "id", coding),
        .source = Json::required<ReviewSource>(j, "source", coding),
        .person = Json::required<std::string>(j, "person", coding),
        .target = Json::optional<std::string>(j, "target", coding),
        .subject = Json::optional<std::string>(j, "subject", coding),
        .messages = Json::required<std::vector<ConversationMessage>>(j, "messages", coding),
        .openURL = Json::optional<std::string>(j, "openURL", coding),
        .isKnownContact = Json::optional<bool>(j, "isKnownContact", coding),
    };
}

}  // namespace nudgerly
