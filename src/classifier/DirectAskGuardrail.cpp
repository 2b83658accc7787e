#include "classifier/DirectAskGuardrail.h"

#include "classifier/ClassifierText.h"
#include "core/Text.h"

namespace nudgerly::DirectAskGuardrail {
namespace {

constexpr std::size_t summaryCharacters = 220;

const Regex& wholeMessageAsk() {
    static const Regex pattern(R"(^(any (updates?|word|news)|status|update)\s*[?!.]*$)", Regex::caseInsensitive);
    return pattern;
}

const Regex& phraseAsk() {
    static const Regex pattern(
        R"(\b(do you have (an|any) update|what(?:'s| is) the (latest|status)|where (?:do|does|did) .{0,40} stand)\b)",
        Regex::caseInsensitive);
    return pattern;
}

}  // namespace

std::optional<Classification> classifyIfCertain(const Conversation& conversation) {
    const ConversationMessage* latest = ClassifierText::latestInbound(conversation);
    if (latest == nullptr) {
        return std::nullopt;
    }
    const std::string trimmed = text::trimmed(latest->text);
    const icu::UnicodeString searched = text::toUnicode(trimmed);
    if (!wholeMessageAsk().search(searched) && !phraseAsk().search(searched)) {
        return std::nullopt;
    }
    return Classification{
        .needsAction = true,
        .status = ReviewStatus::reply,
        .confidence = 0.99,
        // Line breaks stay: the sender's own wording is the summary.
        .summary = ClassifierText::limitedToCharacters(trimmed, summaryCharacters),
        .reason = "A direct request for an update remains unanswered.",
        .draft = "Thanks for checking in—I’ll send you an update shortly.",
        .tags = {"Direct ask", "Update requested"},
    };
}

std::vector<const Regex*> patterns() {
    return {&wholeMessageAsk(), &phraseAsk()};
}

}  // namespace nudgerly::DirectAskGuardrail
