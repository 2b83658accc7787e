#include "sources/messages/MessagesConversation.h"

#include <algorithm>
#include <map>

#include "review/MessageTurnPolicy.h"
#include "review/SenderExclusionPolicy.h"
#include "sources/messages/GroupConversationPolicy.h"
#include "sources/messages/MessageIdentity.h"
#include "sources/messages/MessagesText.h"

namespace nudgerly::MessagesConversation {
namespace {

using MessagesContacts::ContactMatch;
using MessagesContacts::ContactsMap;

// The contact names of the group's senders, the first name found for a sender staying.
std::map<int64_t, std::string> participantNames(const std::vector<ConversationMessage>& messages,
                                                const ContactsMap& contacts) {
    std::map<int64_t, std::string> names;
    for (const ConversationMessage& message : messages) {
        if (!message.senderKey || names.contains(*message.senderKey)) {
            continue;
        }
        if (const ContactMatch* contact = MessagesContacts::lookUp(contacts, message.senderIdentifier.value_or(""))) {
            names.emplace(*message.senderKey, contact->displayName);
        }
    }
    return names;
}

std::string personName(const ChatRow& chat, const std::optional<std::string>& target, const ContactMatch* targetContact,
                       const ContactMatch* lastSenderContact) {
    if (!chat.isGroup()) {
        if (targetContact != nullptr) {
            return targetContact->displayName;
        }
        return chat.displayName.empty() ? target.value_or("") : chat.displayName;
    }
    if (!chat.displayName.empty()) {
        return chat.displayName;
    }
    return lastSenderContact != nullptr ? lastSenderContact->displayName : "Group conversation";
}

}  // namespace

std::optional<Conversation> conversation(const ChatRow& chat, std::vector<ConversationMessage> messages,
                                         const ContactsMap& contacts, std::string_view userFirstName) {
    const std::string latestHandle = MessagesText::withoutServiceSuffix(chat.latestHandle);
    std::optional<std::string> target;
    const ContactMatch* targetContact = nullptr;
    if (!chat.isGroup()) {
        target =
            MessagesText::withoutServiceSuffix(chat.participants.empty() ? chat.chatIdentifier : chat.participants);
        targetContact = MessagesContacts::lookUp(contacts, *target);
    }
    const ContactMatch* latestHandleContact = MessagesContacts::lookUp(contacts, latestHandle);

    std::reverse(messages.begin(), messages.end());
    messages = MessageTurnPolicy::combiningRichLinks(messages);
    if (chat.isGroup()) {
        const auto ask =
            GroupConversationPolicy::unansweredAskIndex(messages, userFirstName, participantNames(messages, contacts));
        if (!ask) {
            return std::nullopt;
        }
        messages.resize(*ask + 1);
    }
    if (messages.empty() || messages.back().fromMe) {
        return std::nullopt;
    }
    const ConversationMessage& last = messages.back();
    const ContactMatch* lastSenderContact = MessagesContacts::lookUp(contacts, last.senderIdentifier.value_or(""));

    const bool isKnownContact =
        targetContact != nullptr || latestHandleContact != nullptr || lastSenderContact != nullptr;
    std::string person = personName(chat, target, targetContact, lastSenderContact);
    const bool isBusiness = (targetContact != nullptr && targetContact->isBusiness) ||
                            (lastSenderContact != nullptr && lastSenderContact->isBusiness) ||
                            (latestHandleContact != nullptr && latestHandleContact->isBusiness);
    if (SenderExclusionPolicy::excludes(ReviewSource::messages, person, isBusiness)) {
        return std::nullopt;
    }

    const MessageIdentity identity{.chatID = chat.chatID, .messageID = last.messageID.value_or(chat.latestMessageID)};
    std::optional<std::string> openURL;
    if (target) {
        openURL = MessagesText::smsLink(*target);
    }
    return Conversation{
        .id = identity.conversationID(),
        .source = ReviewSource::messages,
        .person = std::move(person),
        .target = std::move(target),
        .subject = std::nullopt,
        .messages = std::move(messages),
        .openURL = std::move(openURL),
        .isKnownContact = isKnownContact,
    };
}

}  // namespace nudgerly::MessagesConversation
