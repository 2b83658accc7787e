#include "platform/VCardParser.h"

#include <algorithm>

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

}  // namespace

void VCardParser::feed(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (atLineStart_) {
            atLineStart_ = false;
            if (bytes[i] == ' ' || bytes[i] == '\t') {
                ++i;  // a folded line: the rest continues the line before
                continue;
            }
            processLogicalLine();  // a new line starts, so the one before is complete
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
    if (!logical_.empty() && logical_.back() == '\r') {
        logical_.pop_back();
    }
    atLineStart_ = true;
}

void VCardParser::finish() {
    processLogicalLine();
    atLineStart_ = true;
    if (inCard_) {
        inCard_ = false;
        ++skippedCards_;
    }
}

void VCardParser::processLogicalLine() {
    const bool skip = overlong_;
    overlong_ = false;
    if (skip || logical_.empty()) {
        logical_.clear();
        return;
    }
    const std::string line = text::makeValidUtf8(logical_);
    logical_.clear();

    // name[;parameters]:value, where quoted parameter values may hold ":" and ";".
    const std::size_t nameEnd = line.find_first_of(";:");
    if (nameEnd == std::string::npos) {
        return;  // not a property line; tolerated like any unknown line
    }
    std::size_t colon = nameEnd;
    bool quoted = false;
    while (colon < line.size() && (line[colon] != ':' || quoted)) {
        if (line[colon] == '"') {
            quoted = !quoted;
        }
        ++colon;
    }
    if (colon == line.size()) {
        return;
    }
    std::string_view name = std::string_view(line).substr(0, nameEnd);
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        name.remove_prefix(dot + 1);  // "item1.TEL" is a TEL of group item1
    }
    handleProperty(text::trimmed(name), std::string_view(line).substr(colon + 1));
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
        contact.familyName = component(value, 0);
        contact.givenName = component(value, 1);
    } else if (is("FN")) {
        card_.formattedName = text::trimmed(unescaped(value));
    } else if (is("ORG")) {
        contact.organizationName = component(value, 0);
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
