#include "review/PassivePolicyNoticeSurfacePolicy.h"

#include "core/Regex.h"
#include "core/Text.h"

namespace nudgerly::PassivePolicyNoticeSurfacePolicy {
namespace {

const Regex& notice() {
    static const Regex pattern(
        R"(\b(?:privacy (?:notice|notices|policy|policies)|terms (?:of (?:service|use)|and conditions)|legal (?:notice|notices|terms)|cookie (?:notice|policy)|data protection (?:notice|policy))\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& update() {
    static const Regex pattern(
        R"(\b(?:(?:we['’]?re|we are) (?:updating|changing|revising)|(?:we['’]?ve|we have) (?:updated|changed|revised)|changes? to|updates? to|updated|revised|new)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& noAction() {
    static const Regex pattern(
        R"(\b(?:no action (?:is )?(?:required|needed)|you (?:do not|don['’]?t) need to (?:do|take) anything|nothing (?:is )?required (?:from|of) you)\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& actionRequired() {
    static const Regex pattern(
        R"(\b(?:action required|you (?:must|need to|are required to)|required to|must (?:accept|agree|consent|acknowledge|confirm|sign)|(?:accept|agree to|consent to|acknowledge|confirm|sign) (?:the |our |these )?(?:updated |new |revised )?(?:terms|privacy (?:notice|policy))|(?:account|access) (?:will|may) be (?:closed|restricted|suspended|limited)|to (?:keep|continue using|avoid losing) (?:your )?(?:account|access))\b)",
        Regex::caseInsensitive);
    return pattern;
}

}  // namespace

bool excludes(ReviewSource source, std::string_view text) {
    if (source != ReviewSource::gmail) {
        return false;
    }
    const icu::UnicodeString lower = text::toUnicode(text::lowercased(text));
    if (!notice().search(lower) || !update().search(lower)) {
        return false;
    }
    const bool saysNoAction = noAction().search(lower);
    const bool demandsAction = actionRequired().search(lower);
    return saysNoAction || !demandsAction;
}

}  // namespace nudgerly::PassivePolicyNoticeSurfacePolicy
