#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "review/Classification.h"

namespace nudgerly {

// The part of a chat-completion answer the classifier reads: the first choice's message content.
// Every other key of the answer is ignored.
struct LocalChatResponse {
    struct Message {
        std::string content;
    };
    struct Choice {
        Message message;
    };

    std::vector<Choice> choices;

    // Strict: a choice without a message or a message without text content fails the whole answer.
    static LocalChatResponse fromJson(const nlohmann::json& value);

    // The classification in a successful answer's body, as decoded (bounds are applied later).
    // Throws LocalModelError (badResponse) when the body, its first choice or the content's JSON
    // object cannot be read.
    static Classification classification(std::string_view body);

    // The text from the first "{" through the last "}", dropping a preamble, code fence or closing
    // remark around the object; the whole content when there is no such pair.
    static std::string_view jsonObjectText(std::string_view content);
};

}  // namespace nudgerly
