#include "review/Classification.h"

namespace nudgerly {

nlohmann::json Classification::toJson(const JsonCoding& coding) const {
    nlohmann::json j = nlohmann::json::object();
    Json::set(j, "include_in_queue", needsAction, coding);
    Json::setOptional(j, "status", status, coding);
    Json::set(j, "confidence", confidence, coding);
    Json::set(j, "summary", summary, coding);
    Json::set(j, "reason", reason, coding);
    Json::setOptional(j, "draft", draft, coding);
    Json::set(j, "tags", tags, coding);
    Json::set(j, "sensitive", sensitive, coding);
    return j;
}

Classification Classification::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& j = Json::object(value);
    return {
        .needsAction = Json::required<bool>(j, "include_in_queue", coding),
        .status = Json::optional<ReviewStatus>(j, "status", coding),
        .confidence = Json::required<double>(j, "confidence", coding),
        .summary = Json::required<std::string>(j, "summary", coding),
        .reason = Json::required<std::string>(j, "reason", coding),
        .draft = Json::optional<std::string>(j, "draft", coding),
        .tags = Json::required<std::vector<std::string>>(j, "tags", coding),
        .sensitive = Json::required<bool>(j, "sensitive", coding),
    };
}

}  // namespace nudgerly
