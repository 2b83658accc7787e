#include "classifier/ClassifierText.h"

#include <optional>

#include "core/Text.h"

namespace nudgerly::ClassifierText {
namespace {

const Regex& whitespaceRun() {
    static const Regex pattern(R"(\s+)");
    return pattern;
}

// Whether `quote` (a character of a few bytes) stands at `at`; a short loop beats a call to memcmp.
bool quoteAt(std::string_view text, std::size_t at, std::string_view quote) {
    if (text.size() - at < quote.size()) {
        return false;
    }
    for (std::size_t k = 0; k < quote.size(); ++k) {
        if (text[at + k] != quote[k]) {
            return false;
        }
    }
    return true;
}

}  // namespace

const ConversationMessage* latestInbound(const Conversation& conversation) {
    if (conversation.messages.empty() || conversation.messages.back().fromMe) {
        return nullptr;
    }
    return &conversation.messages.back();
}

std::string limitedToCharacters(std::string_view text, std::size_t maximum) {
    if (maximum == 0) {
        return "";
    }
    if (text::fitsInGraphemes(text, maximum)) {
        return std::string(text);
    }
    return text::graphemePrefix(text, maximum - 1) + "…";
}

std::string collapsingWhitespace(std::string_view text) {
    return text::trimmed(whitespaceRun().replacingAll(text, " "));
}

std::string removingQuotedPassages(std::string_view text, std::string_view open, std::string_view close,
                                   QuotedPassages which) {
    std::string result;
    result.reserve(text.size());
    std::size_t keptUpTo = 0;            // everything before this is either copied or removed
    std::optional<std::size_t> opening;  // the leftmost open quote not yet closed
    bool question = false;               // a "?" since that quote
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c != '?' && c != open.front() && c != close.front()) {
            ++i;  // most bytes: nothing to look at more closely
            continue;
        }
        if (opening && quoteAt(text, i, close)) {
            const std::size_t end = i + close.size();
            if (question || which == QuotedPassages::all) {
                result.append(text, keptUpTo, *opening - keptUpTo);
                keptUpTo = end;
                opening.reset();
                i = end;
                continue;
            }
            // No match from that quote; when quotes open and close alike, this one opens the next try.
            opening.reset();
            if (open == close) {
                opening = i;
                i = end;
                continue;
            }
        } else if (!opening && quoteAt(text, i, open)) {
            opening = i;
            question = false;
            i += open.size();
            continue;
        }
        question = question || c == '?';
        ++i;
    }
    result.append(text, keptUpTo);
    return result;
}

std::vector<const Regex*> patterns() {
    return {&whitespaceRun()};
}

}  // namespace nudgerly::ClassifierText
