#include "sources/gmail/mime/PlaceholderPlainPolicy.h"

#include "core/Regex.h"
#include "core/Text.h"

namespace nudgerly::PlaceholderPlainPolicy {
namespace {

constexpr std::size_t longestPlaceholder = 200;

const Regex& link() {
    static const Regex pattern(R"(\b(?:https?://|www\.)\S+)", Regex::caseInsensitive);
    return pattern;
}

const Regex& htmlReader() {
    static const Regex pattern(
        R"(\b(?:html|browser|web ?page|web version|(?:e-?mail|mail) ?(?:client|program|reader|viewer|software|application|app))\b)",
        Regex::caseInsensitive);
    return pattern;
}

const Regex& aboutViewing() {
    static const Regex pattern(
        R"(\bthis (?:e-?mail|message|newsletter)\b|\bview(?:ed|ing)? (?:it|this)\b|\bhtml[- ]?(?:capable|compatible|enabled)\b|\bsupports? html\b)",
        Regex::caseInsensitive);
    return pattern;
}

}  // namespace

bool isPlaceholder(std::string_view plainText) {
    if (text::isBlank(plainText)) {
        return true;
    }
    if (!text::fitsInGraphemes(plainText, 4 * longestPlaceholder)) {
        return false;  // far too long, whatever its links
    }
    const std::string words = text::trimmed(link().replacingAll(plainText, ""));
    return text::fitsInGraphemes(words, longestPlaceholder) && htmlReader().search(words) &&
           aboutViewing().search(words);
}

}  // namespace nudgerly::PlaceholderPlainPolicy
