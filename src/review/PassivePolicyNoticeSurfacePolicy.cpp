#include "review/PassivePolicyNoticeSurfacePolicy.h"

#include <algorithm>
#include <array>
#include <string>

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

// Whether the text may name a notice. Every notice the pattern finds holds one of these words; in text
// of ASCII characters alone their absence settles it without the regular expressions, which a queue of
// thousands of mails would otherwise run on each. Other characters may fold into one of the words
// under the patterns' case-insensitive matching (a long s, a Kelvin sign, a ligature), so such text
// always goes to the patterns.
bool mayNameANotice(std::string_view text) {
    if (std::ranges::any_of(text, [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        return true;
    }
    const std::string lower = text::asciiLowercased(text);
    return std::ranges::any_of(
        std::array<std::string_view, 5>{"privacy", "terms", "legal", "cookie", "data protection"},
        [&](std::string_view word) { return lower.find(word) != std::string::npos; });
}

}  // namespace

bool excludes(ReviewSource source, std::string_view text) {
    if (source != ReviewSource::gmail || !mayNameANotice(text)) {
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
