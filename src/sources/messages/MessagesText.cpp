#include "sources/messages/MessagesText.h"

#include "core/Regex.h"
#include "core/Text.h"

namespace nudgerly::MessagesText {
namespace {

constexpr std::size_t longestText = 1500;
constexpr std::string_view objectReplacement = "\xEF\xBF\xBC";  // U+FFFC

const Regex& serviceSuffix() {
    // "\z", not "$": "$" also matches before a final line break, which would cut the middle of a handle.
    static const Regex pattern("\\(smsf[a-z]+\\)\\z");
    return pattern;
}

const Regex& whiteSpaceRun() {
    static const Regex pattern("\\s+");
    return pattern;
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Unreserved and reserved characters of RFC 3986: everything a URI may hold as it is.
bool allowedInUri(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("-._~:/?#[]@!$&'()*+,;=").find(c) != std::string_view::npos;
}

}  // namespace

std::string withoutServiceSuffix(std::string_view handle) {
    // Most handles have no suffix; the expression only runs on those that might.
    if (handle.find("(smsf") == std::string_view::npos) {
        return std::string(handle);
    }
    return serviceSuffix().replacingAll(handle, "");
}

std::string cleanedText(std::string_view text) {
    std::string spaced;
    spaced.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(objectReplacement); at != std::string_view::npos;
         at = text.find(objectReplacement, from)) {
        spaced.append(text.substr(from, at - from)).push_back(' ');
        from = at + objectReplacement.size();
    }
    spaced.append(text.substr(from));
    std::string cleaned = text::trimmed(whiteSpaceRun().replacingAll(spaced, " "));
    if (text::fitsInGraphemes(cleaned, longestText)) {
        return cleaned;
    }
    return text::graphemePrefix(cleaned, longestText - 1) + "\u2026";
}

std::string smsLink(std::string_view target) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string link = "sms:";
    for (std::size_t i = 0; i < target.size(); ++i) {
        const char c = target[i];
        const bool validEscape =
            c == '%' && i + 2 < target.size() && isHexDigit(target[i + 1]) && isHexDigit(target[i + 2]);
        if (allowedInUri(c) || validEscape) {
            link += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            link += '%';
            link += hex[byte >> 4];
            link += hex[byte & 0x0F];
        }
    }
    return link;
}

std::string firstName(std::string_view fullName) {
    const std::size_t start = fullName.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        return {};
    }
    const std::size_t end = fullName.find(' ', start);
    return std::string(fullName.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

}  // namespace nudgerly::MessagesText
