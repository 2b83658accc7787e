#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Regex.h"
#include "review/ConversationMessage.h"

// Decides whether a group chat needs the user at all: most group messages are not meant for them.
namespace nudgerly::GroupConversationPolicy {

// True when the text (quoted passages aside) holds a question put to the group or to the user: not
// addressed to someone else by name ("Sam: ..."), and either naming the user or asking in a phrase
// meant for anyone ("can you", "anyone", ...).
bool directlyAsksGroupOrUser(std::string_view text, std::string_view userFirstName);

// Index of the latest message after the user's own latest one that asks the group or the user and
// that no participant it names has answered since; none when there is no such message. `messages`
// run oldest first; `participantNamesBySenderKey` holds the contact names of the senders.
std::optional<std::size_t> unansweredAskIndex(const std::vector<ConversationMessage>& messages,
                                              std::string_view userFirstName,
                                              const std::map<int64_t, std::string>& participantNamesBySenderKey);

// The text as a pattern that matches it literally: a backslash before every ASCII character other
// than a letter or digit; other characters stay as they are.
std::string escapedForPattern(std::string_view literal);

// The compiled expressions used here (the name-mention pattern built for a sample name), for the test
// that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::GroupConversationPolicy
