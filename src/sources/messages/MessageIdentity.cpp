#include "sources/messages/MessageIdentity.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace nudgerly {
namespace {

std::optional<int64_t> decimal(std::string_view text) {
    // A piece never holds "-" (it is the separator), so only a plus sign can lead.
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string MessageIdentity::conversationID() const {
    return "messages-chat-" + std::to_string(chatID) + "-message-" + std::to_string(messageID);
}

std::optional<MessageIdentity> MessageIdentity::parse(std::string_view conversationID) {
    // Split at "-", empty pieces dropped (so a doubled "-" reads like one).
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= conversationID.size()) {
        const std::size_t end = std::min(conversationID.find('-', start), conversationID.size());
        if (end > start) {
            pieces.push_back(conversationID.substr(start, end - start));
        }
        start = end + 1;
    }
    if (pieces.size() != 5 || pieces[0] != "messages" || pieces[1] != "chat" || pieces[3] != "message") {
        return std::nullopt;
    }
    const auto chat = decimal(pieces[2]);
    const auto message = decimal(pieces[4]);
    if (!chat || !message) {
        return std::nullopt;
    }
    return MessageIdentity{.chatID = *chat, .messageID = *message};
}

}  // namespace nudgerly
