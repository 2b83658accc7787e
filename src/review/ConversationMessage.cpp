#include "review/ConversationMessage.h"

namespace nudgerly {

nlohmann::json ConversationMessage::toJson(const JsonCoding& coding) const {
    return Json::writeFields(*this, coding);
}

ConversationMessage ConversationMessage::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    return Json::readFields<ConversationMessage>(value, coding);
}

}  // namespace nudgerly
