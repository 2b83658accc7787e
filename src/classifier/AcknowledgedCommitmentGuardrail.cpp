#include "classifier/AcknowledgedCommitmentGuardrail.h"

#include "classifier/ClassifierText.h"
#include "classifier/QuestionSurfacePolicy.h"
#include "core/Text.h"

namespace nudgerly::AcknowledgedCommitmentGuardrail {
namespace {

constexpr std::size_t excerptCharacters = 220;

const Regex& waiting() {
    static const Regex pattern(
        R"(\b(?:(?:i['’]?ll|i will|we['’]?ll|we will) (?:be )?wait(?:ing)? for|(?:i['’]?m|i am|we['’]?re|we are|still) waiting for)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& attribution() {
    static const Regex pattern(
        R"(\byou (?:(?:said|mentioned)(?: that)? you(?:['’]?d| would)|promised to) (?:send|share|deliver|provide|forward|upload|finish|review|follow[ -]?up|circle back)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& resolution() {
    static const Regex pattern(
        R"(\b(?:never ?mind|no need (?:for you )?to|i (?:found|got) it|[a-z0-9]+ already (?:found|received|sent|shared|delivered|provided))\b)",
        Regex::caseInsensitive);
    return pattern;
}

}  // namespace

std::string removingQuotedSegments(std::string_view text) {
    using ClassifierText::QuotedPassages;
    using ClassifierText::removingQuotedPassages;
    const std::string withoutCurly =
        removingQuotedPassages(text::makeValidUtf8(text), "\u201C", "\u201D", QuotedPassages::all);
    return removingQuotedPassages(withoutCurly, "\"", "\"", QuotedPassages::all);
}

std::string excerpt(std::string_view text) {
    return ClassifierText::limitedToCharacters(ClassifierText::collapsingWhitespace(text), excerptCharacters);
}

std::optional<Classification> classifyIfCertain(const Conversation& conversation) {
    const ConversationMessage* latest = ClassifierText::latestInbound(conversation);
    if (latest == nullptr) {
        return std::nullopt;
    }
    const std::string unquoted = removingQuotedSegments(latest->text);
    if (QuestionSurfacePolicy::removingQuotedQuestions(unquoted).find('?') != std::string::npos) {
        return std::nullopt;
    }
    const icu::UnicodeString searched = text::toUnicode(unquoted);
    if (!waiting().search(searched) || !attribution().search(searched) || resolution().search(searched)) {
        return std::nullopt;
    }
    return Classification{
        .needsAction = true,
        .status = ReviewStatus::nudgerly,
        .confidence = 0.99,
        .summary = excerpt(latest->text),
        .reason = "The sender is waiting on a concrete commitment attributed to you.",
        .tags = {"Open loop", "Your commitment"},
    };
}

std::vector<const Regex*> patterns() {
    return {&waiting(), &attribution(), &resolution()};
}

}  // namespace nudgerly::AcknowledgedCommitmentGuardrail
