#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "review/Conversation.h"
#include "review/ConversationMessage.h"
#include "sources/messages/MessagesContacts.h"

// Turns one listed chat of the Messages database and its latest messages into the conversation the
// classifier sees, or into nothing when the chat does not need the user.
namespace nudgerly::MessagesConversation {

// A row of the chat list: a chat whose latest normal message in the window is inbound.
struct ChatRow {
    int64_t chatID = 0;
    int64_t latestMessageID = 0;
    std::string displayName;  // empty when the chat has none
    std::string chatIdentifier;
    std::string participants;  // the participants' handles joined by ", "
    int64_t handleCount = 0;   // two or more make a group
    std::string latestHandle;  // the handle of the latest message's sender, suffix and all

    bool isGroup() const { return handleCount >= 2; }
    friend bool operator==(const ChatRow&, const ChatRow&) = default;
};

// `messages` run newest first, already cleaned (no empty texts). One-to-one chats are named after
// the contact, the chat or the handle; group chats are kept only with an unanswered ask of the group
// or the user, and end with it. Chats ending with the user, and those of businesses and automated
// senders, give none.
std::optional<Conversation> conversation(const ChatRow& chat, std::vector<ConversationMessage> messages,
                                         const MessagesContacts::ContactsMap& contacts, std::string_view userFirstName);

}  // namespace nudgerly::MessagesConversation
