#include "localmodel/LocalModelHTTPResponsePolicy.h"

#include <optional>
#include <string>

#include "core/JsonCoding.h"
#include "core/Text.h"

namespace nudgerly::LocalModelHTTPResponsePolicy {
namespace {

// The "type" of the body's "error" object; absent when the body is no such envelope.
std::optional<std::string> errorType(std::string_view body) {
    try {
        const nlohmann::json envelope = parseJson(text::makeValidUtf8(body));
        const auto detail = Json::object(envelope).find("error");
        if (detail == envelope.end()) {
            return std::nullopt;
        }
        return Json::optional<std::string>(Json::object(*detail), "type");
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

}  // namespace

LocalModelError error(int statusCode, std::string_view body) {
    if (statusCode >= 500) {
        return LocalModelError(LocalModelError::Kind::serverUnavailable);
    }
    if (statusCode == 400 && errorType(body) == "exceed_context_size_error") {
        return LocalModelError(LocalModelError::Kind::contextTooLarge);
    }
    return LocalModelError(LocalModelError::Kind::badResponse);
}

}  // namespace nudgerly::LocalModelHTTPResponsePolicy
