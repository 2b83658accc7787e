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

// Which quoted passages go.
enum class QuotedPassages { all, holdingAQuestion };

// Removes every passage that starts at an `open` quote and runs to the first `close` quote after it,
// all of them or only those holding a "?": what a leftmost search for the pattern open[^close]*close
// (or open[^close]*\?[^close]*close) removes, found in one pass instead of by backtracking, which
// costs quadratic time on texts with many opening quotes. `text` must be valid UTF-8; `open` and
// `close` are one character each, and may be the same (a straight quote then closes and opens).
std::string removingQuotedPassages(std::string_view text, std::string_view open, std::string_view close,
                                   QuotedPassages which);

// The compiled expressions used here, for the test that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::ClassifierText
