#include "platform/formats/HtmlDeclarations.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "core/Text.h"

namespace nudgerly::HtmlDeclarations {
namespace {

constexpr std::size_t none = std::string_view::npos;

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Whether `text` at `at` begins with `prefix`, in any case.
bool startsCaseless(std::string_view text, std::size_t at, std::string_view prefix) {
    return text::equalsIgnoringAsciiCase(text.substr(at, prefix.size()), prefix);
}

// Elements whose content runs as text to their end tag: markup inside them is not markup.
bool readsAsWritten(std::string_view name) {
    static constexpr std::array<std::string_view, 9> elements{"script", "style",   "textarea", "title",   "xmp",
                                                              "iframe", "noembed", "noframes", "noscript"};
    return std::ranges::find(elements, name) != elements.end();
}

// Past the ">" of the tag that opens at `at`, or the end; a ">" inside a quoted value does not end it.
std::size_t tagEnd(std::string_view html, std::size_t at) {
    bool valueNext = false;  // after "=": a quote here opens a value
    for (std::size_t i = at + 1; i < html.size(); ++i) {
        const char c = html[i];
        if (c == '>') {
            return i + 1;
        }
        if (valueNext && (c == '"' || c == '\'')) {
            const std::size_t close = html.find(c, i + 1);
            if (close == none) {
                return html.size();
            }
            i = close;
            valueNext = false;
        } else if (c == '=') {
            valueNext = true;
        } else if (!isBlank(c)) {
            valueNext = false;
        }
    }
    return html.size();
}

// Where the end tag of `name` opens, searching from `from`, or the end.
std::size_t endTagOf(std::string_view html, std::string_view name, std::size_t from) {
    for (std::size_t at = html.find("</", from); at != none; at = html.find("</", at + 2)) {
        const std::size_t after = at + 2 + name.size();
        if (startsCaseless(html, at + 2, name) &&
            (after == html.size() || isBlank(html[after]) || html[after] == '/' || html[after] == '>')) {
            return at;
        }
    }
    return html.size();
}

}  // namespace

std::string removed(std::string_view html) {
    std::string kept;
    kept.reserve(html.size());
    std::size_t at = 0;
    while (at < html.size()) {
        const std::size_t open = html.find('<', at);
        if (open == none) {
            kept.append(html.substr(at));
            break;
        }
        kept.append(html.substr(at, open - at));
        std::size_t end = open + 1;
        if (startsCaseless(html, open, "<!--")) {
            const std::size_t close = html.find("-->", open + 4);
            end = close == none ? html.size() : close + 3;
        } else if (startsCaseless(html, open, "<!")) {
            const std::size_t close = html.find('>', open + 2);
            end = close == none ? html.size() : close + 1;
            if (!startsCaseless(html, open, "<!doctype")) {
                at = end;
                continue;
            }
        } else if (open + 1 < html.size() && (isAsciiLetter(html[open + 1]) || html[open + 1] == '/')) {
            end = tagEnd(html, open);
            if (html[open + 1] != '/') {
                std::size_t nameEnd = open + 1;
                while (nameEnd < end && !isBlank(html[nameEnd]) && html[nameEnd] != '/' && html[nameEnd] != '>') {
                    ++nameEnd;
                }
                const std::string name = text::asciiLowercased(html.substr(open + 1, nameEnd - open - 1));
                if (readsAsWritten(name)) {
                    end = endTagOf(html, name, end);
                }
            }
        }
        kept.append(html.substr(open, end - open));
        at = end;
    }
    return kept;
}

}  // namespace nudgerly::HtmlDeclarations
