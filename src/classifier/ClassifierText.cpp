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
    if (text::graphemeCount(text) <= maximum) {
        return std::string(text);
    }
    return text::graphemePrefix(text, maximum - 1) + "…";
}

std::string collapsingWhitespace(std::string_view text) {
    return text::trimmed(whitespaceRun().replacingAll(text, " "));
}

std::vector<const Regex*> patterns() {
    return {&whitespaceRun()};
}

}  // namespace nudgerly::ClassifierText
