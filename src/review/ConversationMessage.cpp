#include "review/ConversationMessage.h"

namespace nudgerly {

nlohmann::json ConversationMessage::toJson(const JsonCoding& coding) const {
    nlohmann::json j = nlohmann::json::object();
    Json::set(j, "fromMe", fromMe, coding);
    Json::set(j, "text", text, coding);
    Json::set(j, "date", date, coding);
    return j;
}

ConversationMessage ConversationMessage::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& j = Json::object(value);
    return {
        .fromMe = Json::required<bool>(j, "fromMe", coding),
        .text = Json::required<std::string>(j, "text", coding),
        .date = Json::required<Date>(j, "date", coding),
    };
}

}  // namespace nudgerly
