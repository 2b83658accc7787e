#include "review/Conversation.h"

namespace nudgerly {

nlohmann::json Conversation::toJson(const JsonCoding& coding) const {
    return Json::writeFields(*this, coding);
}

Conversation Conversation::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    return Json::readFields<Conversation>(value, coding);
}

}  // namespace nudgerly
