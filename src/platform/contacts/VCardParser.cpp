#include "platform/contacts/VCardParser.h"

#include <algorithm>
#include <optional>

#include "core/Charset.h"
#include "core/Text.h"

namespace nudgerly {
namespace {

using text::equalsIgnoringAsciiCase;

bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// Undoes the text escapes of the format: "\n" and "\N" are line breaks, a backslash before any other
// character stands for that character.
std::string unescaped(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            out += next == 'n' || next == 'N' ? '\n' : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

// The components of a structured value (N, ORG), split at semicolons that are not escaped.
std::vector<std::string_view> components(std::string_view value) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\') {
            ++i;
        } else if (value[i] == ';') {
            parts.push_back(value.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(value.substr(std::min(start, value.size())));
    return parts;
}

std::string component(std::string_view value, std::size_t index) {
    const auto parts = components(value);
    return index < parts.size() ? text::trimmed(unescaped(parts[index])) : std::string();
}

// "tel:+1-555-0100;ext=12" is the number +1-555-0100.
std::string telephoneNumber(std::string_view value) {
    std::string number = text::trimmed(unescaped(value));
    if (startsWithIgnoringAsciiCase(number, "tel:")) {
        number.erase(0, 4);
        number = number.substr(0, number.find(';'));
    }
    return number;
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int hexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// "=C3=91" is the byte pair C3 91; soft line breaks were taken out when the lines were joined, and an
// "=" that starts no pair stays as written.
std::string quotedPrintableDecoded(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '=' && i + 2 < value.size() && isHexDigit(value[i + 1]) && isHexDigit(value[i + 2])) {
            out += static_cast<char>(hexValue(value[i + 1]) * 16 + hexValue(value[i + 2]));
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

std::string_view unquoted(std::string_view value) {
    return value.size() >= 2 && value.front() == '"' && value.back() == '"' ? value.substr(1, value.size() - 2) : value;
}

// name[;parameters]:value, where quoted parameter values may hold ":" and ";". 2.1 writes types bare
// (";HOME;VOICE"), and some writers the encoding too (";QUOTED-PRINTABLE").
struct PropertyLine {
    std::string_view name;
    bool quotedPrintable = false;
    std::string_view charset;
    std::string_view value;
};

std::optional<PropertyLine> propertyLine(std::string_view line) {
    const std::size_t nameEnd = line.find_first_of(";:");
    if (nameEnd == std::string_view::npos) {
        return std::nullopt;  // not a property line; tolerated like any unknown line
    }
    PropertyLine property{.name = line.substr(0, nameEnd)};
    if (const std::size_t dot = property.name.rfind('.'); dot != std::string_view::npos) {
        property.name.remove_prefix(dot + 1);  // "item1.TEL" is a TEL of group item1
    }
    const auto parameter = [&](std::string_view text) {
        const std::size_t equals = text.find('=');
        const std::string_view name = equals == std::string_view::npos ? std::string_view() : text.substr(0, equals);
        const std::string_view value = unquoted(equals == std::string_view::npos ? text : text.substr(equals + 1));
        if ((name.empty() || equalsIgnoringAsciiCase(name, "ENCODING")) &&
            equalsIgnoringAsciiCase(value, "QUOTED-PRINTABLE")) {
            property.quotedPrintable = true;
        } else if (equalsIgnoringAsciiCase(name, "CHARSET")) {
            property.charset = value;
        }
    };
    std::size_t start = nameEnd + 1;
    bool quoted = false;
    for (std::size_t i = nameEnd; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && (line[i] == ';' || line[i] == ':')) {
            if (i > nameEnd) {
                parameter(line.substr(start, i - start));
                start = i + 1;
            }
            if (line[i] == ':') {
                property.value = line.substr(i + 1);
                return property;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

void VCardParser::feed(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (atLineStart_) {
            atLineStart_ = false;
            if (softLineBreak_) {
                softLineBreak_ = false;  // the value goes on as written
            } else if (bytes[i] == ' ' || bytes[i] == '\t') {
                ++i;  // a folded line: the rest continues the line before
                continue;
            } else {
                processLogicalLine();  // a new line starts, so the one before is complete
            }
        }
        const std::size_t newline = bytes.find('\n', i);
        const std::size_t end = newline == std::string_view::npos ? bytes.size() : newline;
        if (!overlong_) {
            if (logical_.size() + (end - i) > longestLine_) {
                overlong_ = true;
                logical_.clear();
            } else {
                logical_.append(bytes.substr(i, end - i));
            }
        }
        if (newline == std::string_view::npos) {
            return;
        }
        endPhysicalLine();
        i = newline + 1;
    }
}

void VCardParser::endPhysicalLine() {
    // Any run of CR before the LF ends the line: one phone writes CR CR LF.
    while (!logical_.empty() && logical_.back() == '\r') {
        logical_.pop_back();
    }
    // A quoted-printable value ending in "=" continues on the next line. An overlong line is dropped
    // whole, so its continuation lines read as lines of their own and are ignored as unknown.
    if (!overlong_ && logical_.ends_with('=')) {
        const auto property = propertyLine(logical_);
        if (property && property->quotedPrintable && !property->value.empty()) {
            logical_.pop_back();
            softLineBreak_ = true;
        }
    }
    atLineStart_ = true;
}

void VCardParser::finish() {
    processLogicalLine();
    atLineStart_ = true;
    softLineBreak_ = false;
    if (inCard_) {
        inCard_ = false;
        ++skippedCards_;
    }
}

void VCardParser::processLogicalLine() {
    const bool skip = overlong_;
    overlong_ = false;
    const auto property = skip ? std::nullopt : propertyLine(logical_);
    if (property) {
        // The value's bytes are in the named character set (UTF-8 when none is named), and only then
        // does the format's own escaping apply.
        const std::string value = Charset::toUtf8(
            property->quotedPrintable ? quotedPrintableDecoded(property->value) : std::string(property->value),
            property->charset);
        handleProperty(text::trimmed(text::makeValidUtf8(property->name)), value);
    }
    logical_.clear();
}

void VCardParser::handleProperty(std::string_view name, std::string_view value) {
    const auto is = [&](std::string_view expected) { return equalsIgnoringAsciiCase(name, expected); };
    if (is("BEGIN")) {
        if (equalsIgnoringAsciiCase(text::trimmed(value), "VCARD")) {
            if (inCard_) {
                ++skippedCards_;  // the card before never ended
            }
            inCard_ = true;
            card_ = Card{};
        }
        return;
    }
    if (!inCard_) {
        return;
    }
    Contact& contact = card_.contact;
    if (is("END")) {
        if (equalsIgnoringAsciiCase(text::trimmed(value), "VCARD")) {
            closeCard();
        }
    } else if (is("N")) {
        if (!std::exchange(card_.hasName, true)) {  // a repeated N, FN or ORG keeps the first
            contact.familyName = component(value, 0);
            contact.givenName = component(value, 1);
        }
    } else if (is("FN")) {
        if (!std::exchange(card_.hasFormattedName, true)) {
            card_.formattedName = text::trimmed(unescaped(value));
        }
    } else if (is("ORG")) {
        if (!std::exchange(card_.hasOrganization, true)) {
            contact.organizationName = component(value, 0);
        }
    } else if (is("KIND")) {
        if (equalsIgnoringAsciiCase(text::trimmed(value), "org")) {
            contact.contactType = ContactType::organization;
        }
    } else if (is("X-ABSHOWAS")) {
        if (equalsIgnoringAsciiCase(text::trimmed(value), "COMPANY")) {
            contact.contactType = ContactType::organization;
        }
    } else if (is("TEL")) {
        if (std::string number = telephoneNumber(value); !number.empty()) {
            contact.phoneNumbers.push_back(std::move(number));
        }
    } else if (is("EMAIL")) {
        // Kept as written: whoever matches addresses decides how to compare them.
        if (std::string address = unescaped(value); !address.empty()) {
            contact.emailAddresses.push_back(std::move(address));
        }
    } else if (is("UID")) {
        contact.identifier = text::trimmed(unescaped(value));
    }
}

void VCardParser::closeCard() {
    Card card = std::exchange(card_, {});
    inCard_ = false;
    Contact& contact = card.contact;
    // FN is required by the format and repeats the organisation on company cards; only a distinct one
    // names a person whose N is empty.
    if (contact.givenName.empty() && contact.familyName.empty() && !card.formattedName.empty() &&
        card.formattedName != contact.organizationName) {
        contact.givenName = std::move(card.formattedName);
    }
    contacts_.push_back(std::move(contact));
}

VCardParser::Result VCardParser::parse(std::string_view bytes) {
    VCardParser parser;
    parser.feed(bytes);
    parser.finish();
    return {parser.takeContacts(), parser.skippedCards()};
}

}  // namespace nudgerly
