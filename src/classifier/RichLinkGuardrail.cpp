#include "classifier/RichLinkGuardrail.h"

#include "classifier/ClassifierText.h"
#include "classifier/HeuristicClassifier.h"

namespace nudgerly::RichLinkGuardrail {
namespace {

const Regex& coffee() {
    static const Regex pattern(R"(\b(?:grab|get|have) (?:a )?coffee\b)", Regex::caseInsensitive);
    return pattern;
}

const Regex& catchUp() {
    static const Regex pattern(R"(\bcatch(?:ing)? up\b)", Regex::caseInsensitive);
    return pattern;
}

std::string visibleText(const ConversationMessage& message) {
    const std::string& shown = message.displayText          ? *message.displayText
                               : message.linkPreview->title ? *message.linkPreview->title
                                                            : message.text;
    return ClassifierText::collapsingWhitespace(shown);
}

}  // namespace

std::optional<Classification> classifyIfPresent(const Conversation& conversation) {
    const ConversationMessage* latest = ClassifierText::latestInbound(conversation);
    if (conversation.source != ReviewSource::messages || latest == nullptr || !latest->linkPreview) {
        return std::nullopt;
    }
    const std::string visible = visibleText(*latest);

    Conversation linkless = conversation;
    linkless.source = ReviewSource::messages;
    linkless.messages.back() = ConversationMessage{
        .fromMe = false,
        .text = visible,
        .date = latest->date,
        .displayText = visible,
        .senderKey = latest->senderKey,
        .senderIdentifier = latest->senderIdentifier,
        .messageID = latest->messageID,
    };

    Classification decision = HeuristicClassifier::classify(linkless);
    if (!decision.needsAction || !decision.status) {
        return decision;
    }
    decision.summary = summary(conversation.person, *decision.status, visible);
    return decision;
}

std::string summary(std::string_view person, ReviewStatus status, std::string_view visibleText) {
    std::string result(person);
    switch (status) {
        case ReviewStatus::reply: return result + " shared a link and asked for a response.";
        case ReviewStatus::action: return result + " shared a link with an action to complete.";
        case ReviewStatus::nudgerly: break;
    }
    if (coffee().search(visibleText)) {
        return result + " suggested getting coffee.";
    }
    if (catchUp().search(visibleText)) {
        return result + " suggested catching up.";
    }
    return result + " shared a link that may be worth following up on.";
}

std::vector<const Regex*> patterns() {
    return {&coffee(), &catchUp()};
}

}  // namespace nudgerly::RichLinkGuardrail
