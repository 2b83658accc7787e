#include "services/FeedbackSubmission.h"

namespace nudgerly {

nlohmann::json FeedbackSubmission::toJson(const JsonCoding& coding) const {
    nlohmann::json j = nlohmann::json::object();
    Json::set(j, "client_report_id", clientReportID, coding);
    Json::set(j, "category", category, coding);
    Json::set(j, "area", area, coding);
    Json::set(j, "summary", summary, coding);
    Json::set(j, "details", details, coding);
    Json::set(j, "expected_outcome", expectedOutcome, coding);
    Json::set(j, "contact_email", contactEmail, coding);
    Json::set(j, "privacy_confirmed", privacyConfirmed, coding);
    Json::setOptional(j, "diagnostics", diagnostics, coding);
    Json::set(j, "channel", channel, coding);
    return j;
}

}  // namespace nudgerly
