#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "core/CodedField.h"
#include "core/Date.h"
#include "core/JsonCoding.h"
#include "review/MessageLinkPreview.h"

namespace nudgerly {

// One message of a conversation. Only `fromMe`, `text` and `date` are coded: the classification
// fingerprint relies on two messages that differ only in the other fields encoding alike.
struct ConversationMessage {
    bool fromMe = false;
    std::string text;
    Date date;
    std::optional<std::string> displayText;  // shown instead of `text` (merged turns, mail bodies)
    std::optional<MessageLinkPreview> linkPreview;
    std::optional<int64_t> senderKey;             // numeric key of the sending handle within the source
    std::optional<std::string> senderIdentifier;  // phone number or e-mail address
    std::optional<int64_t> messageID;             // the source's row number

    static constexpr auto codedFields() {
        return std::tuple{
            CodedField{"fromMe", &ConversationMessage::fromMe},
            CodedField{"text", &ConversationMessage::text},
            CodedField{"date", &ConversationMessage::date},
        };
    }

    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static ConversationMessage fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
};

}  // namespace nudgerly
