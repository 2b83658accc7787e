#pragma once

#include <string>
#include <vector>

namespace nudgerly {

enum class ContactType { person, organization };

// One address-book entry with the fields the program reads, as the store holds them (no trimming or
// lowering beyond what the card format itself defines).
struct Contact {
    std::string identifier;  // the card's UID; empty when the card has none
    ContactType contactType = ContactType::person;
    std::string givenName;
    std::string familyName;
    std::string organizationName;
    std::vector<std::string> phoneNumbers;
    std::vector<std::string> emailAddresses;

    friend bool operator==(const Contact&, const Contact&) = default;
};

}  // namespace nudgerly
