#pragma once

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/CodedField.h"
#include "core/JsonCoding.h"
#include "review/ConversationMessage.h"
#include "review/ReviewSource.h"

namespace nudgerly {

// One conversation handed to the classifier.
struct Conversation {
    std::string id;  // unique within its source
    ReviewSource source = ReviewSource::messages;
    std::string person;                         // display name of the other side
    std::optional<std::string> target;          // address or handle of the other side
    std::optional<std::string> subject;         // Gmail subject line
    std::vector<ConversationMessage> messages;  // oldest first
    std::optional<std::string> openURL;         // opens the conversation in its own application
    std::optional<bool> isKnownContact;

    // The coded fields: the JSON form, the classification fingerprint and the classifier's memo of
    // unchanged conversations all follow this one table.
    static constexpr auto codedFields() {
        return std::tuple{
            CodedField{"id", &Conversation::id},           CodedField{"source", &Conversation::source},
            CodedField{"person", &Conversation::person},   CodedField{"target", &Conversation::target},
            CodedField{"subject", &Conversation::subject}, CodedField{"messages", &Conversation::messages},
            CodedField{"openURL", &Conversation::openURL}, CodedField{"isKnownContact", &Conversation::isKnownContact},
        };
    }

    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static Conversation fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
};

}  // namespace nudgerly
