#include "sources/gmail/mime/MarkupTags.h"

namespace nudgerly::MarkupTags {

std::optional<std::pair<std::size_t, std::size_t>> find(std::string_view text, std::size_t from) {
    for (std::size_t open = text.find('<', from); open != std::string_view::npos; open = text.find('<', open + 1)) {
        const std::size_t close = text.find('>', open + 1);
        if (close == std::string_view::npos) {
            return std::nullopt;  // no later "<" can be closed either
        }
        if (close > open + 1) {  // at least one character between the brackets
            return std::pair{open, close + 1};
        }
    }
    return std::nullopt;
}

std::string replacingAll(std::string_view text, std::string_view replacement) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    while (const auto tag = find(text, copied)) {
        out.append(text, copied, tag->first - copied);
        out.append(replacement);
        copied = tag->second;
    }
    out.append(text, copied);
    return out;
}

}  // namespace nudgerly::MarkupTags
