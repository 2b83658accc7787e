#include "classifier/PassivePolicyNoticeGuardrail.h"

#include "classifier/ClassifierText.h"
#include "review/PassivePolicyNoticeSurfacePolicy.h"

namespace nudgerly::PassivePolicyNoticeGuardrail {

std::optional<Classification> classifyIfCertain(const Conversation& conversation) {
    const ConversationMessage* latest = ClassifierText::latestInbound(conversation);
    if (conversation.source != ReviewSource::gmail || latest == nullptr) {
        return std::nullopt;
    }
    const std::string text = conversation.subject ? *conversation.subject + " " + latest->text : latest->text;
    if (!PassivePolicyNoticeSurfacePolicy::excludes(ReviewSource::gmail, text)) {
        return std::nullopt;
    }
    return Classification{
        .needsAction = false,
        .confidence = 0.99,
        .reason = "Passive business policy notice.",
    };
}

}  // namespace nudgerly::PassivePolicyNoticeGuardrail
