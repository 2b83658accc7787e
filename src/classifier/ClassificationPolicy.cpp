#include "classifier/ClassificationPolicy.h"

#include <algorithm>
#include <cmath>

#include "classifier/ClassificationCachePolicy.h"
#include "classifier/ClassifierText.h"
#include "classifier/QuestionSurfacePolicy.h"
#include "core/Text.h"

namespace nudgerly::ClassificationPolicy {
namespace {

const Regex& openLoop() {
    static const Regex pattern(
        R"(\b(follow(?:ing)?[ -]?up|checking in|circle back|still waiting|wait(?:ing)? for|you (?:said|mentioned|promised)|send|share|attached|next steps|catch up|grab (?:a )?coffee|connect|thoughts)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& task() {
    static const Regex pattern(
        R"(\b(action required|sign|complete|submit|pay|renew|verify|upload|approve|deliver|provide|forward|finish)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& ask() {
    static const Regex pattern(
        R"(\b(?:can|could|would|will|do|did|are|is|have|has|should) you\b|\blet me know\b|\bplease (?:reply|respond|tell|send|share|confirm|review)\b|\b(?:tell|email|text|call) me\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& scheduling() {
    static const Regex pattern(R"(\b(free|available|meet|meeting|call|catch up|what time|when can)\b)",
                               Regex::caseInsensitive);
    return pattern;
}

const Regex& notADirectQuestion() {
    static const Regex pattern(
        R"(\b(?:not a direct (?:question|request|ask)|without an expected answer|does not (?:ask|request) (?:for )?(?:an )?(?:answer|reply|response))\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& noAction() {
    static const Regex pattern(
        R"(\b(no (clear|direct|specific) (action|task)|no actionable (action|ask|question|request|task)|does not (contain|include|require) (a )?(direct |clear |specific )?(action|task)|does not require (the )?user to (reply|respond|take action)|no action (is )?(required|needed)|nothing remains|conversation (is|appears) (closed|resolved)|responsibility (moved|has been delegated)|status (is|must be) null|is null because|(?:provid(?:e|es|ed)|suppl(?:y|ies|ied)) information without (?:requiring|asking))\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& casual() {
    static const Regex pattern(R"(\bcasual (discussion|conversation|commentary)\b)", Regex::caseInsensitive);
    return pattern;
}

// The model's ways of saying "nothing here" without saying it in the status.
bool isNullMarked(const Classification& answer) {
    const auto isNullWord = [](const std::string& field) { return text::lowercased(text::trimmed(field)) == "null"; };
    const bool markedTag = std::any_of(answer.tags.begin(), answer.tags.end(), [](const std::string& tag) {
        const std::string lower = text::lowercased(tag);
        return lower == "non-actionable" || lower == "delegated";
    });
    return isNullWord(answer.summary) || isNullWord(answer.reason) || markedTag;
}

double clampedConfidence(double confidence) {
    if (!(confidence > 0)) {  // negative or not a number
        return 0;
    }
    return std::min(confidence, 1.0);
}

enum class Verdict { excluded, accepted, rejected };

}  // namespace

std::string boundedField(std::string_view text, std::size_t maximumCharacters) {
    return ClassifierText::limitedToCharacters(text::trimmed(text), maximumCharacters);
}

std::optional<Classification> normalize(const Classification& answer, const Conversation& conversation) {
    if (conversation.messages.empty()) {
        return std::nullopt;
    }
    const std::string& latestText = conversation.messages.back().text;
    bool include = answer.needsAction || answer.status.has_value();
    std::optional<ReviewStatus> status = answer.status;

    // What the latest message itself shows, quoted questions set aside.
    const std::string unquoted = QuestionSurfacePolicy::removingQuotedQuestions(latestText);
    const icu::UnicodeString unquotedLower = text::toUnicode(text::lowercased(unquoted));
    const bool openLoopFound = openLoop().search(unquotedLower);
    const bool taskFound = task().search(unquotedLower);
    const bool question = unquoted.find('?') != std::string::npos;
    const bool asks = question || ask().search(unquotedLower);
    const bool actionable = asks || taskFound || openLoopFound;

    // A task word outranks a scheduling question.
    if (include) {
        if (taskFound) {
            status = ReviewStatus::action;
        } else if (question && scheduling().search(unquotedLower)) {
            status = ReviewStatus::reply;
        }
    }
    // The only question was quoted from someone else.
    if (latestText.find('?') != std::string::npos && !question && include && !actionable) {
        include = false;
        status = std::nullopt;
    }

    // What the model's own words say.
    const icu::UnicodeString reasoning = text::toUnicode(text::lowercased(answer.summary + " " + answer.reason));
    const bool nullMarked = isNullMarked(answer);
    const bool denies = notADirectQuestion().search(reasoning);
    const auto saysNoAction = [&] { return noAction().search(reasoning); };
    const auto saysCasual = [&] { return casual().search(reasoning); };
    const auto extra = [&] {
        return status == ReviewStatus::nudgerly && (saysNoAction() || (!openLoopFound && saysCasual()));
    };

    Verdict verdict;
    if (actionable && status == ReviewStatus::reply && !asks) {
        verdict = (nullMarked || !include || denies) ? Verdict::excluded : Verdict::accepted;
    } else if (actionable && !status) {
        verdict = (!include || nullMarked) ? Verdict::excluded : Verdict::rejected;
    } else if (actionable) {
        verdict = (!include || nullMarked || extra()) ? Verdict::excluded : Verdict::accepted;
    } else if (saysNoAction() || !include || nullMarked || extra() || (status == ReviewStatus::reply && denies) ||
               saysCasual()) {
        verdict = Verdict::excluded;
    } else {
        verdict = status ? Verdict::accepted : Verdict::rejected;
    }

    if (verdict == Verdict::rejected) {
        return std::nullopt;
    }
    const bool included = verdict == Verdict::accepted;
    return Classification{
        .needsAction = included,
        .status = included ? status : std::nullopt,
        .confidence = clampedConfidence(answer.confidence),
        .summary = boundedField(answer.summary, ClassificationCachePolicy::maximumTextCharacters),
        .reason = boundedField(answer.reason, ClassificationCachePolicy::maximumTextCharacters),
        .draft = included ? answer.draft : std::nullopt,
        .tags = included ? answer.tags : std::vector<std::string>{},
        .sensitive = answer.sensitive,
    };
}

std::vector<const Regex*> patterns() {
    return {&openLoop(), &task(), &ask(), &scheduling(), &notADirectQuestion(), &noAction(), &casual()};
}

}  // namespace nudgerly::ClassificationPolicy
