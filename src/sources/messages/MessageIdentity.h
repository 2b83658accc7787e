#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nudgerly {

// The chat and message row ids a Messages conversation identifier names:
// "messages-chat-<chat row id>-message-<message row id>".
struct MessageIdentity {
    int64_t chatID = 0;
    int64_t messageID = 0;

    std::string conversationID() const;

    // The pair named by an identifier of that form (the row ids as decimal numbers, a plus sign
    // allowed; a run of "-" counts as one); absent for anything else.
    static std::optional<MessageIdentity> parse(std::string_view conversationID);

    friend bool operator==(const MessageIdentity&, const MessageIdentity&) = default;
};

}  // namespace nudgerly
