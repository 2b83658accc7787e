#include "classifier/ClassifierText.h"

#include "core/Text.h"

namespace nudgerly::ClassifierText {
namespace {

const Regex& whitespaceRun() {
    static const Regex pattern(R"(\s+)");
    return pattern;
}

}  // namespace

const ConversationMessage* latestInbound(const Conversation& conversation) {
    if (conversation.messages.empty() || conversation.messages.back().fromMe) {
        return nullptr;
    }
    return &conversation.messages.back();
}

std::string limitedToCharacters(std::string_view text, std::size_t maximum) {
    if (maximum == 0) {
        return "";
    }
    if (text::fitsInGraphemes(text, maximum)) {
        return std::string(text);
    }
    return text::graphemePrefix(text, maximum - 1) + "…";
}

std::string collapsingWhitespace(std::string_view text) {
    return text::trimmed(whitespaceRun().replacingAll(text, " "));
}

icu::UnicodeString removingQuotedPassages(const Regex& quotedPassage, const icu::UnicodeString& text,
                                          char16_t closingQuote) {
    const int32_t lastClose = text.lastIndexOf(closingQuote);
    if (lastClose < 0) {
        return text;
    }
    const int32_t searchedLength = lastClose + 1;
    icu::UnicodeString result = quotedPassage.replacingAll(text.tempSubString(0, searchedLength), icu::UnicodeString());
    result.append(text, searchedLength, text.length() - searchedLength);
    return result;
}

std::vector<const Regex*> patterns() {
    return {&whitespaceRun()};
}

}  // namespace nudgerly::ClassifierText
