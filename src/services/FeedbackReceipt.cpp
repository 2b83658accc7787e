#include "services/FeedbackReceipt.h"

namespace nudgerly {

FeedbackReceipt FeedbackReceipt::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& j = Json::object(value);
    return {
        .id = Json::required<std::string>(j, "id", coding),
        .status = Json::required<std::string>(j, "status", coding),
        .duplicate = Json::optional<bool>(j, "duplicate", coding),
    };
}

std::optional<FeedbackReceipt> FeedbackReceipt::decode(std::string_view body) {
    try {
        return fromJson(parseJson(body));
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

}  // namespace nudgerly
