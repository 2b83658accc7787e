#include "sources/messages/GroupConversationPolicy.h"

#include <stdexcept>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "classifier/QuestionSurfacePolicy.h"
#include "core/Text.h"

namespace nudgerly::GroupConversationPolicy {
namespace {

const Regex& addressedName() {
    static const Regex pattern(R"(^\s*(?:hey\s+|hi\s+)?([\p{L}][\p{L}'’.-]*)\s*[:,])", Regex::caseInsensitive);
    return pattern;
}

const Regex& askPhrase() {
    static const Regex pattern(
        R"(\b(?:want to|wanna|would you|could you|can you|will you|are you|do you|did you|have you|how about you|what about you|anyone|everybody|everyone|who (?:wants|can|is|would|will))\b)",
        Regex::caseInsensitive);
    return pattern;
}

std::string nameMentionPattern(std::string_view name) {
    return R"((^|\b)@?)" + escapedForPattern(name) + R"(\b)";
}

const Regex& sampleNameMention() {
    static const Regex pattern(nameMentionPattern("Mary-Jo O'Neil"), Regex::caseInsensitive);
    return pattern;
}

// Whether `text` mentions `name` as a word, with or without "@". A pattern that does not compile
// matches nothing.
bool mentions(const icu::UnicodeString& text, std::string_view name) {
    try {
        return Regex(nameMentionPattern(name), Regex::caseInsensitive).search(text);
    } catch (const std::invalid_argument&) {
        return false;
    }
}

// The first piece of the name between white-space characters; empty when it is blank.
std::string firstWord(std::string_view name) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
    const auto length = static_cast<int32_t>(name.size());
    int32_t start = -1;
    for (int32_t i = 0; i < length;) {
        const int32_t at = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        const bool space = c >= 0 && u_hasBinaryProperty(c, UCHAR_WHITE_SPACE);
        if (space && start >= 0) {
            return std::string(name.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(at - start)));
        }
        if (!space && start < 0) {
            start = at;
        }
    }
    return start < 0 ? std::string() : std::string(name.substr(static_cast<std::size_t>(start)));
}

}  // namespace

std::string escapedForPattern(std::string_view literal) {
    std::string escaped;
    escaped.reserve(literal.size() * 2);
    for (const char c : literal) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = byte >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!plain) {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

bool directlyAsksGroupOrUser(std::string_view text, std::string_view userFirstName) {
    const std::string surface = QuestionSurfacePolicy::removingQuotedQuestions(text);
    if (surface.find('?') == std::string::npos) {
        return false;
    }
    const icu::UnicodeString searched = text::toUnicode(surface);
    if (const auto addressed = addressedName().firstMatchGroup(searched, 1)) {
        if (addressed->caseCompare(text::toUnicode(userFirstName), U_FOLD_CASE_DEFAULT) != 0) {
            return false;  // put to someone else by name
        }
    }
    if (!userFirstName.empty() && mentions(searched, userFirstName)) {
        return true;
    }
    return askPhrase().search(searched);
}

std::optional<std::size_t> unansweredAskIndex(const std::vector<ConversationMessage>& messages,
                                              std::string_view userFirstName,
                                              const std::map<int64_t, std::string>& participantNamesBySenderKey) {
    std::size_t start = 0;
    for (std::size_t i = messages.size(); i > 0; --i) {
        if (messages[i - 1].fromMe) {
            start = i;
            break;
        }
    }
    for (std::size_t i = messages.size(); i > start; --i) {
        const std::size_t index = i - 1;
        const ConversationMessage& ask = messages[index];
        if (!directlyAsksGroupOrUser(ask.text, userFirstName)) {
            continue;
        }
        if (index == messages.size() - 1) {
            return index;
        }
        const icu::UnicodeString foldedAsk = text::toUnicode(text::caseAndDiacriticFolded(ask.text));
        bool answered = false;
        for (std::size_t later = index + 1; later < messages.size() && !answered; ++later) {
            const ConversationMessage& reply = messages[later];
            if (reply.fromMe || !reply.senderKey || reply.senderKey == ask.senderKey) {
                continue;
            }
            const auto name = participantNamesBySenderKey.find(*reply.senderKey);
            if (name == participantNamesBySenderKey.end()) {
                continue;
            }
            const std::string word = firstWord(name->second);
            // The ask named this participant, and they have written since.
            answered = !word.empty() && mentions(foldedAsk, text::caseAndDiacriticFolded(word));
        }
        if (!answered) {
            return index;
        }
    }
    return std::nullopt;
}

std::vector<const Regex*> patterns() {
    return {&addressedName(), &askPhrase(), &sampleNameMention()};
}

}  // namespace nudgerly::GroupConversationPolicy
