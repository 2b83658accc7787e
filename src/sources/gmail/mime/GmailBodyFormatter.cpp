#include "sources/gmail/mime/GmailBodyFormatter.h"

#include <array>
#include <optional>

#include "core/Text.h"
#include "platform/formats/HtmlText.h"
#include "sources/gmail/mime/MarkupTags.h"

namespace nudgerly::GmailBodyFormatter {
namespace {

const Regex& whitespaceRun() {
    static const Regex pattern(R"(\s+)");
    return pattern;
}

// Elements whose content is never text to read, then media that could be fetched; removed in this
// order before the HTML is read. Inline styles stay: the reader needs them to leave hidden text out,
// and it never fetches what they name.
const std::array<Regex, 2>& removedMarkup() {
    static const std::array<Regex, 2> patterns{
        Regex(R"((?is)<(script|style|head|iframe|object|embed|svg)\b[^>]*>.*?</\1\s*>)"),
        Regex(R"((?is)<(img|video|audio|source|link)\b[^>]*>)"),
    };
    return patterns;
}

const Regex& closingBlockTag() {
    static const Regex pattern(R"((?i)</(p|div|h[1-6]|blockquote|section|article|table|tr)\s*>)");
    return pattern;
}

const Regex& lineBreakTag() {
    static const Regex pattern(R"((?i)<br\s*/?>)");
    return pattern;
}

std::string replacingEvery(std::string_view text, std::string_view target, std::string_view replacement) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    for (std::size_t found = text.find(target); found != std::string_view::npos; found = text.find(target, copied)) {
        out.append(text, copied, found - copied);
        out.append(replacement);
        copied = found + target.size();
    }
    out.append(text, copied);
    return out;
}

// The clean-up before the HTML is read; absent when a pattern runs out of its work budget.
std::optional<std::string> cleanedMarkup(std::string_view html) {
    icu::UnicodeString text = text::toUnicode(html);
    for (const Regex& pattern : removedMarkup()) {
        auto removed = pattern.replacingAllWithinBudget(text, icu::UnicodeString());
        if (!removed) {
            return std::nullopt;
        }
        text = std::move(*removed);
    }
    auto separated = closingBlockTag().replacingAllWithinBudget(text, icu::UnicodeString(u"$0<br>"));
    if (!separated) {
        return std::nullopt;
    }
    return text::toUtf8(*separated);
}

// Works on the HTML as received: line-break tags become line feeds, every other tag goes.
std::string strippedTags(std::string_view html) {
    return MarkupTags::replacingAll(lineBreakTag().replacingAll(html, "\n"), "");
}

}  // namespace

std::string classificationText(std::string_view text, bool isHTML) {
    if (isHTML) {
        return singleLine(renderHTML(text));
    }
    return singleLine(replacingEvery(replacingEvery(text, "&nbsp;", " "), "&amp;", "&"));
}

std::string singleLine(std::string_view text) {
    return text::trimmed(whitespaceRun().replacingAll(text, " "));
}

std::string renderHTML(std::string_view body) {
    // The display text keeps 20,000 characters; a body's first megabytes hold them, and the clean-up's
    // work budget grows with the text.
    const std::string_view html = HtmlText::readPart(body);
    if (const auto cleaned = cleanedMarkup(html)) {
        if (auto text = HtmlText::visibleText(*cleaned)) {
            return std::move(*text);
        }
    }
    return strippedTags(html);
}

std::string normalize(std::string_view text) {
    std::string unified = replacingEvery(text, "\r\n", "\n");
    unified = replacingEvery(unified, "\r", "\n");
    unified = replacingEvery(unified, "\u00A0", " ");
    unified = replacingEvery(unified, "\uFFFC", "");

    std::string out;
    out.reserve(unified.size());
    bool previousEmpty = true;  // drops empty lines at the start
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = unified.find('\n', start);
        std::string_view line =
            std::string_view(unified).substr(start, end == std::string::npos ? std::string::npos : end - start);
        const auto first = line.find_first_not_of(" \t");
        line = first == std::string_view::npos ? std::string_view()
                                               : line.substr(first, line.find_last_not_of(" \t") - first + 1);
        if (!line.empty() || !previousEmpty) {
            out.append(line);
            out += '\n';
        }
        previousEmpty = line.empty();
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    // Every kept line ended in a line feed; the last one and trailing empty lines go.
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

std::vector<const Regex*> patterns() {
    const auto& removed = removedMarkup();
    return {&whitespaceRun(), &removed[0], &removed[1], &closingBlockTag(), &lineBreakTag()};
}

}  // namespace nudgerly::GmailBodyFormatter
