#include "review/ReviewItem.h"

#include "core/Hashing.h"

namespace nudgerly {

nlohmann::json ReviewItem::toJson(const JsonCoding& coding) const {
    nlohmann::json j = nlohmann::json::object();
    Json::set(j, "id", id, coding);
    Json::setOptional(j, "completionKey", completionKey, coding);
    Json::set(j, "source", source, coding);
    Json::set(j, "status", status, coding);
    Json::set(j, "person", person, coding);
    Json::setOptional(j, "target", target, coding);
    Json::set(j, "date", date, coding);
    Json::setOptional(j, "timestamp", timestamp, coding);
    Json::setOptional(j, "priority", priority, coding);
    Json::setOptional(j, "isKnownContact", isKnownContact, coding);
    Json::set(j, "summary", summary, coding);
    Json::set(j, "context", context, coding);
    Json::set(j, "verdict", verdict, coding);
    Json::setOptional(j, "draft", draft, coding);
    Json::set(j, "tags", tags, coding);
    Json::setOptional(j, "openURL", openURL, coding);
    Json::setOptional(j, "confidence", confidence, coding);
    Json::setOptional(j, "messageLinkPreview", messageLinkPreview, coding);
    return j;
}

ReviewItem ReviewItem::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& j = Json::object(value);
    return {
        .id = Json::required<std::string>(j, "id", coding),
        .completionKey = Json::optional<std::string>(j, "completionKey", coding),
        .source = Json::required<ReviewSource>(j, "source", coding),
        .status = Json::required<ReviewStatus>(j, "status", coding),
        .person = Json::required<std::string>(j, "person", coding),
        .target = Json::optional<std::string>(j, "target", coding),
        .date = Json::required<std::string>(j, "date", coding),
        .timestamp = Json::optional<Date>(j, "timestamp", coding),
        .priority = Json::optional<int64_t>(j, "priority", coding),
        .isKnownContact = Json::optional<bool>(j, "isKnownContact", coding),
        .summary = Json::required<std::string>(j, "summary", coding),
        .context = Json::required<std::string>(j, "context", coding),
        .verdict = Json::required<std::string>(j, "verdict", coding),
        .draft = Json::optional<std::string>(j, "draft", coding),
        .tags = Json::required<std::vector<std::string>>(j, "tags", coding),
        .openURL = Json::optional<std::string>(j, "openURL", coding),
        .confidence = Json::optional<double>(j, "confidence", coding),
        .messageLinkPreview = Json::optional<MessageLinkPreview>(j, "messageLinkPreview", coding),
    };
}

}  // namespace nudgerly

std::size_t std::hash<nudgerly::ReviewItem>::operator()(const nudgerly::ReviewItem& i) const noexcept {
    return nudgerly::hashFields(i.id, i.completionKey, i.source, i.status, i.person, i.target, i.date, i.timestamp,
                                i.priority, i.isKnownContact, i.summary, i.context, i.verdict, i.draft, i.tags,
                                i.openURL, i.confidence, i.messageLinkPreview);
}
