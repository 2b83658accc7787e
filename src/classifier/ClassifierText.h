#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/Regex.h"
#include "review/Conversation.h"
#include "review/ConversationMessage.h"

// Small text and conversation helpers shared by the classifier's rules.
namespace nudgerly::ClassifierText {

// The last message of the conversation when the other side wrote it; null when the conversation is
// empty or the user spoke last (nothing is owed then, so no rule looks further).
const ConversationMessage* latestInbound(const Conversation& conversation);

// The text unchanged when it has at most `maximum` characters (grapheme clusters); otherwise its first
// `maximum` - 1 characters followed by "…", so the result never exceeds `maximum` characters.
std::string limitedToCharacters(std::string_view text, std::size_t maximum);

// Every run of white space becomes one space, and the ends are trimmed.
std::string collapsingWhitespace(std::string_view text);

// Removes every match of `quotedPassage`, a pattern whose matches all end with `closingQuote`. The
// search stops at the last closing quote: nothing after it can match, and letting the engine try
// would cost cubic time on texts full of unclosed quotes.
icu::UnicodeString removingQuotedPassages(const Regex& quotedPassage, const icu::UnicodeString& text,
                                          char16_t closingQuote);

// The compiled expressions used here, for the test that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::ClassifierText
