#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/contacts/Contact.h"

namespace nudgerly {

// Reads vCard 2.1, 3.0 and 4.0 text into contacts: folded lines are joined, any run of CR before LF
// ends a line, "group." prefixes skipped, quoted-printable values (with their soft line breaks) and
// CHARSET parameters decoded, other parameters skipped, backslash escapes undone. It takes the first
// N (FN when N is empty and FN is not just the organisation), the first ORG, KIND:org or
// X-ABSHOWAS:COMPANY, TEL (with or without "tel:"), EMAIL and UID, as valid UTF-8. Input may come in
// pieces of any size; memory stays bounded by the longest line kept, so a large photo costs nothing.
// A card that ends early (another BEGIN, or the end of the input before END) is skipped and counted.
class VCardParser {
public:
    // Lines longer than this (after unfolding) are skipped: no field the program reads is that long.
    static constexpr std::size_t defaultLongestLine = 64 * 1024;

    explicit VCardParser(std::size_t longestLine = defaultLongestLine) : longestLine_(longestLine) {}

    void feed(std::string_view bytes);
    // Ends the input: a card still open is skipped.
    void finish();

    // The contacts completed so far, moved out.
    std::vector<Contact> takeContacts() { return std::exchange(contacts_, {}); }
    std::size_t skippedCards() const { return skippedCards_; }

    struct Result {
        std::vector<Contact> contacts;
        std::size_t skippedCards = 0;
    };
    static Result parse(std::string_view bytes);

private:
    struct Card {
        Contact contact;
        std::string formattedName;
        bool hasName = false;
        bool hasFormattedName = false;
        bool hasOrganization = false;
    };

    void endPhysicalLine();
    void processLogicalLine();
    void handleProperty(std::string_view name, std::string_view value);
    void closeCard();

    std::size_t longestLine_;
    std::string logical_;
    bool overlong_ = false;
    bool atLineStart_ = true;
    bool softLineBreak_ = false;  // the line before ended in a quoted-printable soft line break
    bool inCard_ = false;
    Card card_;
    std::vector<Contact> contacts_;
    std::size_t skippedCards_ = 0;
};

}  // namespace nudgerly
