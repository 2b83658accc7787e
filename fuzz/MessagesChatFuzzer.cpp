// A chat of a copied chat.db as the reader turns it into a conversation: any chat names, handles and
// message texts must give tidy valid text, an identifier that reads back, a link a URI can hold, and
// never a conversation that ends with the user.
//
// Input: a flags byte (group or not, which messages are the user's), then fields separated by 0x1E:
// display name, chat identifier, participants, latest handle, then pairs of sender handle and text,
// newest message first.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Text.h"
#include "sources/messages/MessageIdentity.h"
#include "sources/messages/MessagePayloads.h"
#include "sources/messages/MessagesContacts.h"
#include "sources/messages/MessagesConversation.h"
#include "sources/messages/MessagesText.h"

using namespace nudgerly;

namespace {

std::vector<std::string_view> fields(std::string_view bytes) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t at = bytes.find('\x1e'); at != std::string_view::npos; at = bytes.find('\x1e', start)) {
        pieces.push_back(bytes.substr(start, at - start));
        start = at + 1;
    }
    pieces.push_back(bytes.substr(start));
    pieces.resize(std::max<std::size_t>(pieces.size(), 4));
    return pieces;
}

const MessagesContacts::ContactsMap& contacts() {
    static const auto map = MessagesContacts::contactsMap({
        Contact{.givenName = "Maria", .familyName = "Lopez", .phoneNumbers = {"+1 (415) 555-0101"}},
        Contact{.contactType = ContactType::organization,
                .organizationName = "Acme Bank",
                .emailAddresses = {"alerts@acme.example"}},
    });
    return map;
}

bool tidy(std::string_view text) {
    const bool edgesTrimmed = !text.empty() && text::trimmed(text) == text;
    return edgesTrimmed && text::isValidUtf8(text) && text.find("\uFFFC") == std::string_view::npos &&
           text::fitsInGraphemes(text, 1500);
}

bool uriSafe(std::string_view link) {
    for (const char c : link) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || std::string_view("\"<>\\^`{|}").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return link.starts_with("sms:");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t flags = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    if (const auto identity = MessageIdentity::parse(bytes)) {
        if (MessageIdentity::parse(identity->conversationID()) != identity) {
            __builtin_trap();
        }
    }

    const std::vector<std::string_view> pieces = fields(bytes);
    const MessagesConversation::ChatRow chat{
        .chatID = flags >> 4,
        .latestMessageID = 1,
        .displayName = text::makeValidUtf8(pieces[0]),
        .chatIdentifier = text::makeValidUtf8(pieces[1]),
        .participants = text::makeValidUtf8(pieces[2]),
        .handleCount = flags & 0x03,
        .latestHandle = text::makeValidUtf8(pieces[3]),
    };
    std::vector<ConversationMessage> messages;
    for (std::size_t i = 4; i + 1 < pieces.size(); i += 2) {
        const std::string handle = text::makeValidUtf8(pieces[i]);
        if (!handle.starts_with(MessagesText::withoutServiceSuffix(handle))) {
            __builtin_trap();
        }
        std::string cleaned = MessagesText::cleanedText(MessagePayloads::decodedText(pieces[i + 1], {}));
        if (cleaned.empty()) {
            continue;
        }
        if (!tidy(cleaned)) {
            __builtin_trap();
        }
        const auto index = static_cast<int64_t>(i / 2);
        const bool fromMe = ((flags >> 2) & 0x03) == (index & 0x03);
        messages.push_back(ConversationMessage{
            .fromMe = fromMe,
            .text = std::move(cleaned),
            .senderKey = fromMe ? std::nullopt : std::optional<int64_t>(index % 3 + 1),
            .senderIdentifier = MessagesText::withoutServiceSuffix(handle),
            .messageID = index,
        });
    }

    const auto conversation = MessagesConversation::conversation(chat, messages, contacts(), "Alex");
    if (!conversation) {
        return 0;
    }
    const ConversationMessage& last = conversation->messages.back();
    const bool linkAsExpected =
        chat.isGroup() ? !conversation->openURL : conversation->openURL && uriSafe(*conversation->openURL);
    if (last.fromMe || !linkAsExpected || !text::isValidUtf8(conversation->person) ||
        MessageIdentity::parse(conversation->id) !=
            MessageIdentity{chat.chatID, last.messageID.value_or(chat.latestMessageID)}) {
        __builtin_trap();
    }
    return 0;
}
