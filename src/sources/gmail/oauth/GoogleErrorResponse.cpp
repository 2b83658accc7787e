#include "sources/gmail/oauth/GoogleErrorResponse.h"

namespace nudgerly {

GoogleErrorResponse GoogleErrorResponse::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& object = Json::object(value);
    return {.error = Json::optional<std::string>(object, "error", coding),
            .errorDescription = Json::optional<std::string>(object, "error_description", coding)};
}

}  // namespace nudgerly
