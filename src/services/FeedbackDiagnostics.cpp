#include "services/FeedbackDiagnostics.h"

namespace nudgerly {

nlohmann::json FeedbackDiagnostics::toJson(const JsonCoding& coding) const {
    nlohmann::json j = nlohmann::json::object();
    Json::set(j, "app_version", appVersion, coding);
    Json::set(j, "build_number", buildNumber, coding);
    Json::set(j, "mac_os_version", macOSVersion, coding);
    Json::set(j, "architecture", architecture, coding);
    Json::set(j, "model", model, coding);
    Json::set(j, "model_state", modelState, coding);
    Json::setOptional(j, "local_ai_failure", localAIFailure, coding);
    Json::set(j, "contacts_permission", contactsPermission, coding);
    Json::set(j, "messages_permission", messagesPermission, coding);
    Json::set(j, "gmail_state", gmailState, coding);
    Json::set(j, "messages_queue_count", messagesQueueCount, coding);
    Json::set(j, "gmail_queue_count", gmailQueueCount, coding);
    Json::setOptional(j, "messages_last_refresh", messagesLastRefresh, coding);
    Json::setOptional(j, "gmail_last_refresh", gmailLastRefresh, coding);
    Json::set(j, "refresh_state", refreshState, coding);
    return j;
}

FeedbackDiagnostics FeedbackDiagnostics::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& j = Json::object(value);
    return {
        .appVersion = Json::required<std::string>(j, "app_version", coding),
        .buildNumber = Json::required<std::string>(j, "build_number", coding),
        .macOSVersion = Json::required<std::string>(j, "mac_os_version", coding),
        .architecture = Json::required<std::string>(j, "architecture", coding),
        .model = Json::required<std::string>(j, "model", coding),
        .modelState = Json::required<std::string>(j, "model_state", coding),
        .localAIFailure = Json::optional<std::string>(j, "local_ai_failure", coding),
        .contactsPermission = Json::required<std::string>(j, "contacts_permission", coding),
        .messagesPermission = Json::required<std::string>(j, "messages_permission", coding),
        .gmailState = Json::required<std::string>(j, "gmail_state", coding),
        .messagesQueueCount = Json::required<int64_t>(j, "messages_queue_count", coding),
        .gmailQueueCount = Json::required<int64_t>(j, "gmail_queue_count", coding),
        .messagesLastRefresh = Json::optional<std::string>(j, "messages_last_refresh", coding),
        .gmailLastRefresh = Json::optional<std::string>(j, "gmail_last_refresh", coding),
        .refreshState = Json::required<std::string>(j, "refresh_state", coding),
    };
}

}  // namespace nudgerly
