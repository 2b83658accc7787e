#include "review/ReviewSnapshot.h"

namespace nudgerly {

nlohmann::json ReviewSnapshot::toJson(const JsonCoding& coding) const {
    nlohmann::json j = nlohmann::json::object();
    Json::set(j, "generatedAt", generatedAt, coding);
    Json::set(j, "windowStart", windowStart, coding);
    Json::set(j, "windowEnd", windowEnd, coding);
    Json::set(j, "messageCount", messageCount, coding);
    Json::set(j, "activeConversations", activeConversations, coding);
    Json::set(j, "inboundEndingCount", inboundEndingCount, coding);
    Json::set(j, "clearedCount", clearedCount, coding);
    Json::set(j, "items", items, coding);
    Json::setOptional(j, "classificationCache", classificationCache, coding);
    return j;
}

ReviewSnapshot ReviewSnapshot::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& j = Json::object(value);
    return {
        .generatedAt = Json::required<Date>(j, "generatedAt", coding),
        .windowStart = Json::required<Date>(j, "windowStart", coding),
        .windowEnd = Json::required<Date>(j, "windowEnd", coding),
        .messageCount = Json::required<int64_t>(j, "messageCount", coding),
        .activeConversations = Json::required<int64_t>(j, "activeConversations", coding),
        .inboundEndingCount = Json::required<int64_t>(j, "inboundEndingCount", coding),
        .clearedCount = Json::required<int64_t>(j, "clearedCount", coding),
        .items = Json::required<std::vector<ReviewItem>>(j, "items", coding),
        .classificationCache =
            Json::optional<std::vector<CachedConversationClassification>>(j, "classificationCache", coding),
    };
}

}  // namespace nudgerly
