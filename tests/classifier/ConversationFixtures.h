#pragma once

#include <string>
#include <utility>
#include <vector>

#include "review/Conversation.h"

namespace nudgerly::fixtures {

inline ConversationMessage inbound(std::string text, Date date = {}) {
    return {.fromMe = false, .text = std::move(text), .date = date};
}

inline ConversationMessage outbound(std::string text, Date date = {}) {
    return {.fromMe = true, .text = std::move(text), .date = date};
}

inline Conversation conversation(std::vector<ConversationMessage> messages,
                                 ReviewSource source = ReviewSource::messages,
                                 std::optional<std::string> subject = std::nullopt) {
    return {
        .id = "c1", .source = source, .person = "Dana", .subject = std::move(subject), .messages = std::move(messages)};
}

// A conversation whose only message is inbound with this text.
inline Conversation saying(std::string text, ReviewSource source = ReviewSource::messages) {
    return conversation({inbound(std::move(text))}, source);
}

}  // namespace nudgerly::fixtures
