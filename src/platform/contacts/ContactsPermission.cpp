#include "platform/contacts/ContactsPermission.h"

namespace nudgerly {

ContactsPermission contactsPermission(ContactsAuthorizationStatus status) {
    switch (status) {
        case ContactsAuthorizationStatus::notDetermined: return ContactsPermission::notDetermined;
        case ContactsAuthorizationStatus::authorized: return ContactsPermission::granted;
        case ContactsAuthorizationStatus::limited: return ContactsPermission::limited;
        case ContactsAuthorizationStatus::restricted:
        case ContactsAuthorizationStatus::denied: break;
    }
    return ContactsPermission::denied;
}

bool allowsReadingContacts(ContactsPermission permission) {
    return permission == ContactsPermission::granted || permission == ContactsPermission::limited;
}

}  // namespace nudgerly
