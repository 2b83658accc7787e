#include "sources/gmail/mime/FromHeader.h"

#include "core/Regex.h"
#include "core/Text.h"
#include "sources/gmail/mime/MarkupTags.h"

namespace nudgerly::FromHeader {
namespace {

const Regex& addressRun() {
    static const Regex pattern(R"([\w.+-]+@[\w.-]+)");
    return pattern;
}

}  // namespace

std::string emailAddress(std::string_view value) {
    if (const auto tag = MarkupTags::find(value)) {
        return text::lowercased(value.substr(tag->first + 1, tag->second - tag->first - 2));
    }
    // A hostile header can make this search backtrack for long; running out of budget counts as no
    // address.
    const icu::UnicodeString searched = text::toUnicode(value);
    if (const auto match = addressRun().firstMatchWithinBudget(searched)) {
        return text::lowercased(text::toUtf8(searched.tempSubStringBetween(match->start, match->end)));
    }
    return "";
}

std::string displayName(std::string_view value) {
    const std::string withoutAddresses = MarkupTags::replacingAll(value, "");
    const auto first = withoutAddresses.find_first_not_of(" \"");
    if (first == std::string::npos) {
        return "";
    }
    return withoutAddresses.substr(first, withoutAddresses.find_last_not_of(" \"") - first + 1);
}

std::vector<const Regex*> patterns() {
    return {&addressRun()};
}

}  // namespace nudgerly::FromHeader
