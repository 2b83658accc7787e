#pragma once

#include "platform/contacts/ContactsStore.h"

namespace nudgerly {

// How far the program may read the user's contacts, as the window shows it.
enum class ContactsPermission { notDetermined, granted, limited, denied };

// Restricted, denied and any unknown status all count as denied.
ContactsPermission contactsPermission(ContactsAuthorizationStatus status);

// Contacts are read (names, the known-contact flag) with full or limited access only.
bool allowsReadingContacts(ContactsPermission permission);

}  // namespace nudgerly
