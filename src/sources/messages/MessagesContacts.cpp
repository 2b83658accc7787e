#include "sources/messages/MessagesContacts.h"

#include <algorithm>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "core/Text.h"
#include "platform/contacts/ContactsPermission.h"

namespace nudgerly::MessagesContacts {
namespace {

// A character counts as a number when its first code point has a numeric value: digits of every
// script, but also fractions, circled and CJK numerals.
bool isNumber(std::string_view character) {
    int32_t offset = 0;
    UChar32 first = 0;
    U8_NEXT(reinterpret_cast<const uint8_t*>(character.data()), offset, static_cast<int32_t>(character.size()), first);
    return first >= 0 && u_getIntPropertyValue(first, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

void addKey(std::vector<std::string>& keys, std::string key) {
    if (!key.empty() && std::find(keys.begin(), keys.end(), key) == keys.end()) {
        keys.push_back(std::move(key));
    }
}

std::string displayName(const Contact& contact) {
    if (contact.givenName.empty()) {
        return contact.familyName;
    }
    return contact.familyName.empty() ? contact.givenName : contact.givenName + " " + contact.familyName;
}

}  // namespace

std::vector<std::string> contactKeys(std::string_view text) {
    std::vector<std::string> keys;
    const std::string lowered = text::trimmed(text::lowercased(text));
    const std::vector<std::size_t> boundaries = text::graphemeBoundaries(lowered);
    std::string digits;
    std::vector<std::size_t> digitStarts;  // where each number character starts within `digits`
    for (std::size_t i = 0; i + 1 < boundaries.size(); ++i) {
        const std::string_view character =
            std::string_view(lowered).substr(boundaries[i], boundaries[i + 1] - boundaries[i]);
        if (isNumber(character)) {
            digitStarts.push_back(digits.size());
            digits += character;
        }
    }
    addKey(keys, lowered);
    if (digitStarts.size() >= 10) {
        std::string lastTen = digits.substr(digitStarts[digitStarts.size() - 10]);
        addKey(keys, std::move(digits));
        addKey(keys, std::move(lastTen));
    } else {
        addKey(keys, std::move(digits));
    }
    return keys;
}

ContactsMap contactsMap(const std::vector<Contact>& contacts) {
    ContactsMap map;
    for (const Contact& contact : contacts) {
        std::string name = displayName(contact);
        const bool isBusiness =
            contact.contactType == ContactType::organization || (name.empty() && !contact.organizationName.empty());
        if (name.empty()) {
            name = contact.organizationName;
        }
        if (name.empty()) {
            continue;
        }
        const ContactMatch match{.displayName = std::move(name), .isBusiness = isBusiness};
        for (const std::string& number : contact.phoneNumbers) {
            for (std::string& key : contactKeys(number)) {
                map.insert_or_assign(std::move(key), match);
            }
        }
        for (const std::string& address : contact.emailAddresses) {
            // Trimmed as well as lowered, so an address saved with stray spaces still matches.
            if (std::string key = text::trimmed(text::lowercased(address)); !key.empty()) {
                map.insert_or_assign(std::move(key), match);
            }
        }
    }
    return map;
}

ContactsMap loadContacts(const ContactsStore& store, std::stop_token stop) {
    if (!allowsReadingContacts(contactsPermission(store.authorizationStatus()))) {
        return {};
    }
    // Files that could not be read only leave their contacts out; the names fall back to handles.
    return contactsMap(store.fetchContacts(stop).contacts);
}

const ContactMatch* lookUp(const ContactsMap& contacts, std::string_view handle) {
    for (const std::string& key : contactKeys(handle)) {
        if (const auto it = contacts.find(key); it != contacts.end()) {
            return &it->second;
        }
    }
    return nullptr;
}

bool requestContacts(ContactsStore& store, std::stop_token stop, AccessQuestion question) {
    return store.requestAccess(stop, question);
}

}  // namespace nudgerly::MessagesContacts
