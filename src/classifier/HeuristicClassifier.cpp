#include "classifier/HeuristicClassifier.h"

#include <algorithm>

#include "classifier/AcknowledgedCommitmentGuardrail.h"
#include "classifier/ClassifierText.h"
#include "classifier/PassivePolicyNoticeGuardrail.h"
#include "classifier/QuestionSurfacePolicy.h"
#include "classifier/TransactionalShippingPolicy.h"
#include "core/Text.h"

namespace nudgerly::HeuristicClassifier {
namespace {

// How many of the last messages the sensitivity test reads.
constexpr std::size_t sensitiveContextMessages = 8;

const Regex& noise() {
    static const Regex pattern(
        R"(reply stop|verification code|security code|order (was|is|#)|newsletter|receipt|mailer-daemon|no-?reply)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& ask() {
    static const Regex pattern(
        R"(\?|\b(can|could|would|will) you\b|\bare you\b|\bdo you\b|\bdid you\b|\blet me know\b|\bplease (send|share|confirm|review)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& task() {
    static const Regex pattern(
        R"(\b(action required|complete|sign|docusign|accept|agree|consent|acknowledge|past due|due (today|tomorrow|by|on)|renew|prescription|payment|invoice|verify|authorization)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& openLoop() {
    static const Regex pattern(
        R"(\b(follow[ -]?up|checking in|catch up|circle back|connect|grab (?:a )?coffee|next steps|attached|thoughts)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& sensitive() {
    static const Regex pattern(
        R"(\b(prescription|medication|medical|diagnosis|bank|tax|investment|password|security code)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& deliveryProblem() {
    static const Regex pattern(
        R"(\b(?:delivery (?:failed|failure|attempt(?:ed)?|exception|problem)|failed delivery|attempted delivery|(?:unable to|could not|cannot|can['’]?t) (?:be )?deliver(?:ed)?|(?:update|verify|confirm|correct) (?:your |the )?(?:delivery )?(?:address|instructions?)|confirm (?:receipt|delivery)|(?:contact|call) (?:the |your )?(?:carrier|delivery service|pharmacy|support)|reschedul(?:e|ed|ing) (?:your |the )?(?:delivery|pick(?: |-)?up)|ready for (?:pick(?: |-)?up|collection)|(?:pick(?: |-)?up|collection) (?:required|needed|available)|signature (?:is )?(?:required|needed))\b)",
        Regex::caseInsensitive);
    return pattern;
}

Classification nothingOwed(const char* reason) {
    return Classification{.needsAction = false, .confidence = 0.65, .reason = reason};
}

// The last few messages of both sides, lowercased: sensitive matter earlier in the exchange still
// makes the item sensitive.
icu::UnicodeString recentContext(const std::vector<ConversationMessage>& messages) {
    const std::size_t first = messages.size() - std::min(messages.size(), sensitiveContextMessages);
    std::string joined;
    for (std::size_t i = first; i < messages.size(); ++i) {
        if (i > first) {
            joined += ' ';
        }
        joined += messages[i].text;
    }
    return text::toUnicode(text::lowercased(joined));
}

}  // namespace

Classification classify(const Conversation& conversation) {
    const ConversationMessage* latest = ClassifierText::latestInbound(conversation);
    if (latest == nullptr) {
        return nothingOwed("The latest message is yours.");
    }
    if (PassivePolicyNoticeGuardrail::classifyIfCertain(conversation)) {
        return nothingOwed("Passive business policy notice.");
    }

    const icu::UnicodeString lower = text::toUnicode(text::lowercased(latest->text));
    const icu::UnicodeString unquotedLower =
        text::toUnicode(text::lowercased(QuestionSurfacePolicy::removingQuotedQuestions(latest->text)));
    const bool update = TransactionalShippingPolicy::isUpdate(conversation);
    const bool delivery = conversation.source == ReviewSource::messages && deliveryProblem().search(lower);
    const bool isNoise = noise().search(lower);
    const bool isTask = task().search(lower);
    const bool isOpenLoop = openLoop().search(lower);
    const bool asks = ask().search(unquotedLower);

    const auto owed = [&](ReviewStatus status, double confidence, const char* reason, std::optional<std::string> draft,
                          std::vector<std::string> tags) {
        return Classification{
            .needsAction = true,
            .status = status,
            .confidence = confidence,
            .summary = AcknowledgedCommitmentGuardrail::excerpt(latest->text),
            .reason = reason,
            .draft = std::move(draft),
            .tags = std::move(tags),
            .sensitive = sensitive().search(recentContext(conversation.messages)),
        };
    };

    if (update) {
        return nothingOwed("Automated notification or transactional noise.");
    }
    if (isTask || delivery) {
        return owed(ReviewStatus::action, 0.72, "Review and complete the requested task if it is still outstanding.",
                    std::nullopt, {"Action", "Local review"});
    }
    if (isNoise) {
        return nothingOwed("Automated notification or transactional noise.");
    }
    if (asks) {
        return owed(ReviewStatus::reply, 0.76, "A direct question or request appears to remain unanswered.",
                    "Sorry for the delay—thanks for reaching out. This is still on my radar, and I’ll follow up "
                    "shortly.",
                    {"Direct ask", "Needs reply"});
    }
    if (isOpenLoop) {
        return owed(ReviewStatus::nudgerly, 0.64, "Optional follow-up if this conversation still matters.",
                    std::nullopt, {"Open loop", "Optional"});
    }
    return nothingOwed("No clear unanswered request or commitment was detected.");
}

std::vector<const Regex*> patterns() {
    return {&noise(), &ask(), &task(), &openLoop(), &sensitive(), &deliveryProblem()};
}

}  // namespace nudgerly::HeuristicClassifier
