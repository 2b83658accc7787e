#include "classifier/DeterministicPrefilter.h"

#include "classifier/ClassifierText.h"
#include "classifier/TransactionalShippingPolicy.h"
#include "core/Text.h"

namespace nudgerly::DeterministicPrefilter {
namespace {

const Regex& infoGiven() {
    static const Regex pattern(
        R"(\b(guest names?|names?|confirmation number|address|phone number|email address) (is|are)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& infoAsk() {
    static const Regex pattern(R"(\?|\b(please|can you|could you|need you to|let me know|confirm|review|send|share)\b)",
                               Regex::caseInsensitive);
    return pattern;
}

const Regex& supportReceived() {
    static const Regex pattern(
        R"(\b(?:received your (?:support )?(?:request|inquiry)|(?:support )?(?:request|ticket|case) (?:has been|was) (?:received|created|opened))\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& supportFollowing() {
    static const Regex pattern(
        R"(\b(?:currently reviewing|under review|will (?:respond|reply|get back)|response (?:will follow|is coming|shortly|soon))\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& explicitRequest() {
    static const Regex pattern(
        R"(\b(?:please|need you to|action required(?: to)?)\s+(?:reply|respond|send|provide|upload|complete|call|confirm|verify|schedule|choose)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& automated() {
    static const Regex pattern(
        R"(\b(order (is )?confirmed|view (your |the )?receipt|newsletter|weekly digest|monthly report|verification code|one-time code|unsubscribe|(?:reply|text) stop|stop to (?:end|opt out|unsubscribe))\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& closingThanks() {
    static const Regex pattern(
        R"(^\s*(thanks|thank you)[,.! ]+(that answers|got it|perfect|all set|sounds good|talk soon|see you)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& delegation() {
    static const Regex pattern(
        R"(\b(said (he|she|they) (would|will)|[a-z0-9]+ (will|would|has|is going to) (take|handle|cover|do|own))\b)",
        Regex::caseInsensitive);
    return pattern;
}

}  // namespace

std::optional<Classification> classifyIfCertain(const Conversation& conversation) {
    const ConversationMessage* latest = ClassifierText::latestInbound(conversation);
    if (latest == nullptr) {
        return std::nullopt;
    }
    const icu::UnicodeString lower = text::toUnicode(text::lowercased(latest->text));
    // The rules are pure, so they are tried lazily in their order of precedence.
    const auto supportAcknowledged = [&] {
        return supportReceived().search(lower) && supportFollowing().search(lower) && !explicitRequest().search(lower);
    };
    const auto informationGiven = [&] { return infoGiven().search(lower) && !infoAsk().search(lower); };
    const bool closed = TransactionalShippingPolicy::isUpdate(conversation) || automated().search(lower) ||
                        closingThanks().search(lower) || delegation().search(lower) || supportAcknowledged() ||
                        informationGiven();
    if (!closed) {
        return std::nullopt;
    }
    return Classification{
        .needsAction = false,
        .confidence = 0.99,
        .reason = "Closed or transactional message.",
    };
}

std::vector<const Regex*> patterns() {
    return {&infoGiven(),       &infoAsk(),   &supportReceived(), &supportFollowing(),
            &explicitRequest(), &automated(), &closingThanks(),   &delegation()};
}

}  // namespace nudgerly::DeterministicPrefilter
