#include "platform/formats/HtmlText.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include "core/Text.h"
#include "platform/formats/HtmlDeclarations.h"

namespace nudgerly::HtmlText {
namespace {

// What layout makes of an element, by name (the reader gives names in lower case).
enum ElementRole : unsigned {
    hidden = 1,           // content never shown
    block = 2,            // on lines of its own
    paragraph = 4,        // and followed by an empty line
    keepsWhitespace = 8,  // text laid out as written
    cell = 16,            // separated from the next cell by a tab
};

unsigned roleOf(std::string_view name) {
    static const std::unordered_map<std::string_view, unsigned> roles = [] {
        std::unordered_map<std::string_view, unsigned> table;
        for (const std::string_view name : {"script", "style", "head", "title", "noscript", "template"}) {
            table[name] = hidden;
        }
        // Elements a browser lays out as blocks by default.
        for (const std::string_view name :
             {"address", "article", "aside",  "blockquote", "body",  "caption",  "center",     "dd",     "details",
              "dialog",  "dir",     "div",    "dl",         "dt",    "fieldset", "figcaption", "figure", "footer",
              "form",    "h1",      "h2",     "h3",         "h4",    "h5",       "h6",         "header", "hgroup",
              "hr",      "html",    "legend", "li",         "main",  "menu",     "nav",        "ol",     "section",
              "summary", "table",   "tbody",  "tfoot",      "thead", "tr",       "ul"}) {
            table[name] = block;
        }
        table["p"] = block | paragraph;
        for (const std::string_view name : {"pre", "listing", "plaintext", "xmp"}) {
            table[name] = block | keepsWhitespace;
        }
        table["textarea"] = keepsWhitespace;
        table["td"] = cell;
        table["th"] = cell;
        return table;
    }();
    const auto found = roles.find(name);
    return found == roles.end() ? 0 : found->second;
}

// Collects text with the line breaks and spaces that layout would put between the pieces. Breaks and
// separators are held back until visible text follows, so none pile up at the ends or around
// whitespace-only nodes.
class TextBuilder {
public:
    void requireLineBreaks(int count) { pendingBreaks_ = std::max(pendingBreaks_, count); }
    void separateWith(char separator) {
        if (separator == '\t' || pendingSeparator_ == 0) {
            pendingSeparator_ = separator;
        }
    }

    void lineBreak() {
        flushBreaks();
        out_ += '\n';
        pendingSeparator_ = 0;
    }

    void collapsedText(std::string_view text) {
        constexpr std::string_view whitespace = " \t\n\r\f";
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t word = text.find_first_not_of(whitespace, i);
            if (word != i) {
                separateWith(' ');
            }
            if (word == std::string_view::npos) {
                break;
            }
            const std::size_t end = std::min(text.find_first_of(whitespace, word), text.size());
            beforeVisibleText();
            out_.append(text.substr(word, end - word));
            i = end;
        }
    }

    void preformattedText(std::string_view text) {
        if (text.empty()) {
            return;
        }
        beforeVisibleText();
        out_.append(text);
    }

    std::string take() { return std::move(out_); }

private:
    void flushBreaks() {
        if (pendingBreaks_ > 0 && !out_.empty()) {
            out_.append(static_cast<std::size_t>(pendingBreaks_), '\n');
            pendingSeparator_ = 0;
        }
        pendingBreaks_ = 0;
    }

    void beforeVisibleText() {
        flushBreaks();
        if (pendingSeparator_ != 0 && !out_.empty() && out_.back() != '\n') {
            out_ += pendingSeparator_;
        }
        pendingSeparator_ = 0;
    }

    std::string out_;
    int pendingBreaks_ = 0;
    char pendingSeparator_ = 0;
};

// What an element's inline style and attributes do to the visibility of its text. Mail hides text
// (a newsletter's preheader, tracking notes) with a handful of declarations; style sheets and classes
// are not followed.
struct Concealment {
    bool removesContent = false;       // display:none, the hidden attribute, clipped to no height
    std::optional<bool> invisible;     // visibility, inherited unless a descendant sets it again
    std::optional<bool> zeroFontSize;  // font size, inherited the same way
};

// "0", "0px", ".0em", "0%": a length of zero in any unit.
bool isZeroLength(std::string_view value) {
    const std::size_t unit = std::min(value.find_first_not_of("0."), value.size());
    const auto isUnit = [](char c) { return (c >= 'a' && c <= 'z') || c == '%'; };
    return value.substr(0, unit).find('0') != std::string_view::npos &&
           std::all_of(value.begin() + static_cast<std::ptrdiff_t>(unit), value.end(), isUnit);
}

// Sizes relative to the parent's keep a zero size zero.
bool isRelativeFontSize(std::string_view value) {
    return value.ends_with('%') || (value.ends_with("em") && !value.ends_with("rem")) || value.ends_with("ex") ||
           value == "smaller" || value == "larger";
}

Concealment concealmentOf(std::string_view style) {
    const std::string lower = text::asciiLowercased(style);
    Concealment concealment;
    bool noHeight = false;
    bool clipped = false;
    for (std::size_t start = 0; start <= lower.size();) {
        const std::size_t end = std::min(lower.find(';', start), lower.size());
        const std::string_view declaration = std::string_view(lower).substr(start, end - start);
        start = end + 1;
        const std::size_t colon = declaration.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view property = text::trimmedAscii(declaration.substr(0, colon));
        std::string_view value = text::trimmedAscii(declaration.substr(colon + 1));
        if (const std::size_t important = value.find('!'); important != std::string_view::npos) {
            value = text::trimmedAscii(value.substr(0, important));
        }
        if (value == "inherit") {
            continue;
        }
        if (property == "display") {
            concealment.removesContent = concealment.removesContent || value == "none";
        } else if (property == "visibility") {
            concealment.invisible = value == "hidden" || value == "collapse";
        } else if (property == "font-size") {
            if (isZeroLength(value)) {
                concealment.zeroFontSize = true;
            } else if (!isRelativeFontSize(value)) {
                concealment.zeroFontSize = false;
            }
        } else if (property == "max-height") {
            noHeight = isZeroLength(value);
        } else if (property == "overflow") {
            clipped = value == "hidden";
        }
    }
    concealment.removesContent = concealment.removesContent || (noHeight && clipped);
    return concealment;
}

Concealment concealmentOf(const xmlChar** attributes) {
    Concealment concealment;
    for (const xmlChar** attribute = attributes; attribute != nullptr && *attribute != nullptr; attribute += 2) {
        const std::string_view name = reinterpret_cast<const char*>(attribute[0]);
        if (name == "hidden") {
            concealment.removesContent = true;
        } else if (name == "style" && attribute[1] != nullptr) {
            const Concealment styled = concealmentOf(reinterpret_cast<const char*>(attribute[1]));
            concealment.removesContent = concealment.removesContent || styled.removesContent;
            concealment.invisible = styled.invisible;
            concealment.zeroFontSize = styled.zeroFontSize;
        }
    }
    return concealment;
}

// Follows the reader's element events, which are the elements of the tree it would build (implied
// and auto-closed ones included), without building the tree: reading stays fast and flat however
// deeply a document nests. A stack of small states stands for the open elements.
class Walker {
public:
    void startElement(std::string_view name, const xmlChar** attributes) {
        const unsigned role = roleOf(name);
        const State parent = open_.empty() ? State{} : open_.back();
        if (parent.removed || (role & hidden) != 0) {
            open_.push_back(State{.removed = true});
            return;
        }
        const Concealment concealment = attributes == nullptr ? Concealment{} : concealmentOf(attributes);
        State state{
            .removed = concealment.removesContent,
            .invisible = concealment.invisible.value_or(parent.invisible),
            .zeroFontSize = concealment.zeroFontSize.value_or(parent.zeroFontSize),
            .preformatted = parent.preformatted || (role & keepsWhitespace) != 0,
        };
        open_.push_back(state);
        if (state.removed) {
            return;
        }
        if (name == "br") {
            if (state.shows()) {
                builder_.lineBreak();
            }
        } else if ((role & block) != 0) {
            builder_.requireLineBreaks((role & paragraph) != 0 ? 2 : 1);
        }
    }

    void endElement(std::string_view name) {
        if (open_.empty()) {
            return;
        }
        const bool removed = open_.back().removed;
        open_.pop_back();
        if (removed) {
            return;
        }
        const unsigned role = roleOf(name);
        if ((role & block) != 0) {
            builder_.requireLineBreaks((role & paragraph) != 0 ? 2 : 1);
        } else if ((role & cell) != 0) {
            builder_.separateWith('\t');
        }
    }

    void characters(std::string_view text) {
        const State state = open_.empty() ? State{} : open_.back();
        if (!state.shows()) {
            return;
        }
        if (state.preformatted) {
            builder_.preformattedText(text);
        } else {
            builder_.collapsedText(text);
        }
    }

    std::string take() { return builder_.take(); }

private:
    struct State {
        bool removed = false;  // not laid out at all, nor anything inside
        bool invisible = false;
        bool zeroFontSize = false;
        bool preformatted = false;

        bool shows() const { return !removed && !invisible && !zeroFontSize; }
    };

    TextBuilder builder_;
    std::vector<State> open_;
};

Walker& walkerOf(void* context) {
    return *static_cast<Walker*>(static_cast<xmlParserCtxt*>(context)->_private);
}

std::string_view view(const xmlChar* text) {
    return text == nullptr ? std::string_view() : reinterpret_cast<const char*>(text);
}

void onStartElement(void* context, const xmlChar* name, const xmlChar** attributes) {
    walkerOf(context).startElement(view(name), attributes);
}

void onEndElement(void* context, const xmlChar* name) {
    walkerOf(context).endElement(view(name));
}

void onCharacters(void* context, const xmlChar* text, int length) {
    walkerOf(context).characters(
        std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)));
}

struct ParserFreer {
    void operator()(xmlParserCtxt* parser) const { htmlFreeParserCtxt(parser); }
};

}  // namespace

std::string_view readPart(std::string_view html) {
    return text::bytePrefix(html, largestDocument);
}

std::optional<std::string> visibleText(std::string_view html) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });

    // The reader would keep declarations other than the doctype as text.
    const std::string input = HtmlDeclarations::removed(readPart(html));
    // The encoding is fixed to UTF-8: a <meta> naming another one must not change how text is read.
    constexpr int options = HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                            HTML_PARSE_IGNORE_ENC | HTML_PARSE_NOIMPLIED;
    const std::unique_ptr<xmlParserCtxt, ParserFreer> parser(htmlNewParserCtxt());
    if (!parser || parser->sax == nullptr) {
        return std::nullopt;
    }
    // Only the events that carry text and structure; no tree, no document.
    *parser->sax = htmlSAXHandler{};
    parser->sax->startElement = onStartElement;
    parser->sax->endElement = onEndElement;
    parser->sax->characters = onCharacters;
    parser->sax->ignorableWhitespace = onCharacters;
    parser->sax->cdataBlock = onCharacters;
    Walker walker;
    parser->_private = &walker;
    xmlDoc* document =
        htmlCtxtReadMemory(parser.get(), input.data(), static_cast<int>(input.size()), nullptr, "UTF-8", options);
    if (document != nullptr) {
        xmlFreeDoc(document);  // not expected without tree events, but never leaked
    }
    return walker.take();
}

}  // namespace nudgerly::HtmlText
