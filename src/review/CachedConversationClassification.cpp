#include "review/CachedConversationClassification.h"

namespace nudgerly {

nlohmann::json CachedConversationClassification::toJson(const JsonCoding& coding) const {
    nlohmann::json j = nlohmann::json::object();
    Json::set(j, "source", source, coding);
    Json::set(j, "conversationID", conversationID, coding);
    Json::set(j, "fingerprint", fingerprint, coding);
    Json::set(j, "classifierRevision", classifierRevision, coding);
    Json::set(j, "engineSignature", engineSignature, coding);
    Json::set(j, "needsAction", needsAction, coding);
    Json::setOptional(j, "classification", classification, coding);
    return j;
}

CachedConversationClassification CachedConversationClassification::fromJson(const nlohmann::json& value,
                                                                            const JsonCoding& coding) {
    const auto& j = Json::object(value);
    return {
        .source = Json::required<ReviewSource>(j, "source", coding),
        .conversationID = Json::required<std::string>(j, "conversationID", coding),
        .fingerprint = Json::required<std::string>(j, "fingerprint", coding),
        .classifierRevision = Json::required<int64_t>(j, "classifierRevision", coding),
        .engineSignature = Json::required<std::string>(j, "engineSignature", coding),
        .needsAction = Json::required<bool>(j, "needsAction", coding),
        .classification = Json::optional<Classification>(j, "classification", coding),
    };
}

}  // namespace nudgerly
