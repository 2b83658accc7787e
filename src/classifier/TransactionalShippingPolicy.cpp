#include "classifier/TransactionalShippingPolicy.h"

#include "classifier/ClassifierText.h"
#include "classifier/QuestionSurfacePolicy.h"
#include "core/Text.h"

namespace nudgerly::TransactionalShippingPolicy {
namespace {

const Regex& link() {
    static const Regex pattern(R"(https?://\S+)");
    return pattern;
}

const Regex& item() {
    static const Regex pattern(
        R"(\b(?:orders?|packages?|parcels?|shipments?|deliver(?:y|ies)|medications?|prescriptions?)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& status() {
    static const Regex pattern(
        R"(\b(?:shipped|in transit|out for delivery|delivered|will arrive|expected to arrive|arriv(?:e|es|ing|ed)|on (?:its|the) way|delivery (?:update|status|scheduled)|shipment (?:update|status)|track(?:ing)? (?:your |the )?(?:order|package|parcel|shipment|delivery)|tracking number)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& ask() {
    static const Regex pattern(
        R"(\b(?:can|could|would|will) you\b|\bneed you to\b|\blet me know\b|\baction required\b|\bplease (?:confirm|tell|text|call|reply|respond|check|update|verify|schedule|reschedule)\b|^\s*(?:any update|any word|did|do|does|has|have|is|are|was|were|when|where|what)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& problem() {
    static const Regex pattern(
        R"(\b(?:delays?|delayed|delivery (?:failed|failure|attempt(?:ed)?|exception|problem)|failed delivery|attempted delivery|(?:unable to|could not|cannot|can['’]?t|was not|wasn['’]?t|has not|hasn['’]?t) (?:be |been )?deliver(?:ed)?|problem with (?:your |the )?(?:delivery|shipment|order)|return(?:ed)? to sender|(?:payment|balance|amount) (?:is )?(?:due|required|failed)|(?:signature|authorization) (?:is )?(?:required|needed|failed)|(?:update|verify|confirm|correct) (?:your |the )?(?:delivery )?(?:address|instructions?|payment|information|details|preferences?)|(?:address|instructions?) (?:update|required|needed|invalid|incorrect|missing)|confirm (?:receipt|delivery)|confirmation (?:required|needed)|ready for (?:pick(?: |-)?up|collection)|(?:pick(?: |-)?up|collection) (?:required|needed|available)|(?:pick up|collect) (?:your |the )?(?:order|package|parcel|shipment|prescription)|(?:contact|call) (?:the |your )?(?:carrier|delivery service|pharmacy|support)|reschedul(?:e|ed|ing) (?:your |the )?(?:delivery|pick(?: |-)?up)|choos(?:e|ing) (?:a |your |the )?(?:delivery|pick(?: |-)?up) (?:date|time|window|option)|update (?:required|needed|now))\b)",
        Regex::caseInsensitive);
    return pattern;
}

}  // namespace

bool isUpdate(const Conversation& conversation) {
    const ConversationMessage* latest = ClassifierText::latestInbound(conversation);
    if (conversation.source != ReviewSource::messages || latest == nullptr) {
        return false;
    }
    const icu::UnicodeString lower = text::toUnicode(text::lowercased(latest->text));
    if (!item().search(lower) || !status().search(lower)) {
        return false;
    }
    // A question mark or a request word inside a tracking link is not the sender asking anything.
    const icu::UnicodeString withoutLinks = link().replacingAll(lower, icu::UnicodeString());
    if (QuestionSurfacePolicy::removingQuotedQuestions(text::toUtf8(withoutLinks)).find('?') != std::string::npos) {
        return false;
    }
    return !ask().search(withoutLinks) && !problem().search(withoutLinks);
}

std::vector<const Regex*> patterns() {
    return {&link(), &item(), &status(), &ask(), &problem()};
}

}  // namespace nudgerly::TransactionalShippingPolicy
