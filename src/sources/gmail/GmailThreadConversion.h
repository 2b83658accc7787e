#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "review/Conversation.h"
#include "review/ConversationMessage.h"
#include "sources/gmail/GmailRecords.h"

// Turning a fetched Gmail thread into the conversation the classifier and the detail pane read.
namespace nudgerly::GmailThreadConversion {

inline constexpr std::string_view conversationIDPrefix = "gmail-thread-";
inline constexpr std::string_view webAddressPrefix = "https://mail.google.com/mail/#all/";
inline constexpr std::string_view unknownSender = "Unknown sender";
// Characters as the user sees them; longer texts are cut without a marker.
inline constexpr std::size_t classificationTextLimit = 4000;
inline constexpr std::size_t displayTextLimit = 20000;

// "gmail-thread-" followed by the thread id.
std::string conversationID(std::string_view threadID);

// The thread in the Gmail web interface; absent when the id does not form an address.
std::optional<std::string> openURL(std::string_view threadID);

// A message's "internalDate": epoch milliseconds as a signed decimal with an optional sign. Empty,
// non-numeric and out-of-range text counts as 0.
int64_t internalDateMilliseconds(std::string_view internalDate);

// The message with its classification and display texts; absent when it has no text at all. It is
// from the user when its sender's address is the account's (ignoring case; an empty address never
// matches) or it carries the "SENT" label.
std::optional<ConversationMessage> message(const GmailMessage& message, std::string_view accountEmail);

// The thread's messages oldest first, named after the newest message's sender; absent when no message
// has text.
std::optional<Conversation> conversation(const GmailThread& thread, std::string_view accountEmail);

}  // namespace nudgerly::GmailThreadConversion
