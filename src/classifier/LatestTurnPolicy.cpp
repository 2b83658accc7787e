#include "classifier/LatestTurnPolicy.h"

#include <algorithm>

#include "classifier/AcknowledgedCommitmentGuardrail.h"
#include "classifier/ClassifierText.h"
#include "classifier/QuestionSurfacePolicy.h"
#include "core/Text.h"

namespace nudgerly::LatestTurnPolicy {
namespace {

constexpr double overrideConfidence = 0.75;

void appendIfMissing(std::vector<std::string>& tags, const char* tag) {
    if (std::find(tags.begin(), tags.end(), tag) == tags.end()) {
        tags.emplace_back(tag);
    }
}

}  // namespace

bool needsAdjudication(const Conversation& conversation, const Classification& primary) {
    const ConversationMessage* latest = ClassifierText::latestInbound(conversation);
    if (latest == nullptr || (primary.status && primary.status != ReviewStatus::nudgerly)) {
        return false;
    }
    return QuestionSurfacePolicy::removingQuotedQuestions(latest->text).find('?') != std::string::npos;
}

std::optional<Classification> normalizeAssessment(const Classification& answer, const Conversation& conversation) {
    if (ClassifierText::latestInbound(conversation) == nullptr) {
        return std::nullopt;
    }
    Classification assessment = answer;
    if (answer.needsAction) {
        assessment.status = ReviewStatus::reply;  // this pass only asks whether an answer is expected
    } else {
        assessment.status = std::nullopt;
        assessment.draft = std::nullopt;
        assessment.tags.clear();
    }
    return assessment;
}

std::optional<Classification> replyOverride(const Classification& primary, const Classification& assessment,
                                            const Conversation& conversation) {
    if (conversation.messages.empty()) {
        return std::nullopt;
    }
    if (!assessment.needsAction || assessment.status != ReviewStatus::reply ||
        !(assessment.confidence >= overrideConfidence)) {
        return std::nullopt;
    }
    std::string summary = text::trimmed(assessment.summary);
    if (summary.empty()) {
        summary = AcknowledgedCommitmentGuardrail::excerpt(conversation.messages.back().text);
    }
    std::vector<std::string> tags = assessment.tags;
    appendIfMissing(tags, "Latest-message check");
    appendIfMissing(tags, "Needs reply");
    return Classification{
        .needsAction = true,
        .status = ReviewStatus::reply,
        .confidence = assessment.confidence,
        .summary = std::move(summary),
        .reason = assessment.reason,
        .draft = assessment.draft,
        .tags = std::move(tags),
        .sensitive = primary.sensitive || assessment.sensitive,
    };
}

}  // namespace nudgerly::LatestTurnPolicy
