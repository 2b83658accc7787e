#pragma once

#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/contacts/Contact.h"
#include "platform/contacts/ContactsStore.h"

// Names for the handles (phone numbers, e-mail addresses) that the Messages database knows people by.
namespace nudgerly::MessagesContacts {

struct ContactMatch {
    std::string displayName;  // never empty
    bool isBusiness = false;

    friend bool operator==(const ContactMatch&, const ContactMatch&) = default;
};

// From lookup key to the contact it names.
using ContactsMap = std::unordered_map<std::string, ContactMatch>;

// The keys a handle or phone number is known by, in this order and without repeats: the text lowered
// and trimmed; its number characters (digits of any script, as written); the last ten of those when
// there are at least ten. Blank text has no keys.
std::vector<std::string> contactKeys(std::string_view text);

// The map of these contacts, in order, a later contact taking over a key from an earlier one. A
// contact without a name is left out. Phone numbers are stored under all their keys, e-mail addresses
// trimmed and lowered; an empty key is never stored.
ContactsMap contactsMap(const std::vector<Contact>& contacts);

// The map of every contact the store lets the program see; empty without access. Contacts that
// could not be read are simply missing. Throws CancelledError when `stop` is requested.
ContactsMap loadContacts(const ContactsStore& store, std::stop_token stop);

// The contact of the first of the handle's keys present in the map, or null (always for blank text).
// The pointer stays valid while the map is unchanged.
const ContactMatch* lookUp(const ContactsMap& contacts, std::string_view handle);

// Asks for Contacts access when it was never decided (or refused, as `question` says); true when access
// is granted or limited. Throws what the store throws.
bool requestContacts(ContactsStore& store, std::stop_token stop,
                     AccessQuestion question = AccessQuestion::whenUndecided);

}  // namespace nudgerly::MessagesContacts
