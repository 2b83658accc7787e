#include "localmodel/LocalChatResponse.h"

#include "core/JsonCoding.h"
#include "core/Text.h"
#include "localmodel/LocalModelError.h"

namespace nudgerly {

LocalChatResponse LocalChatResponse::fromJson(const nlohmann::json& value) {
    const auto choices = Json::object(value).find("choices");
    if (choices == value.end() || !choices->is_array()) {
        throw JsonDecodingError("Expected an array of choices.");
    }
    LocalChatResponse response;
    for (const auto& choice : *choices) {
        const auto message = Json::object(choice).find("message");
        if (message == choice.end()) {
            throw JsonDecodingError("Missing key \"message\".");
        }
        response.choices.push_back({{Json::required<std::string>(Json::object(*message), "content")}});
    }
    return response;
}

Classification LocalChatResponse::classification(std::string_view body) {
    try {
        // The model's text comes from outside: a stray invalid byte becomes U+FFFD instead of costing
        // the whole answer.
        const LocalChatResponse response = fromJson(parseJson(text::makeValidUtf8(body)));
        if (response.choices.empty()) {
            throw LocalModelError(LocalModelError::Kind::badResponse);
        }
        return Classification::fromJson(parseJson(jsonObjectText(response.choices.front().message.content)));
    } catch (const JsonDecodingError&) {
        throw LocalModelError(LocalModelError::Kind::badResponse);
    }
}

std::string_view LocalChatResponse::jsonObjectText(std::string_view content) {
    const auto first = content.find('{');
    const auto last = content.rfind('}');
    if (first == std::string_view::npos || last == std::string_view::npos || last < first) {
        return content;
    }
    return content.substr(first, last - first + 1);
}

}  // namespace nudgerly
