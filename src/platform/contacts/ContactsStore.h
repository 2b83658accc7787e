#pragma once

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/UserFacingError.h"
#include "platform/contacts/Contact.h"
#include "platform/contacts/ContactsChangeObservers.h"

namespace nudgerly {

// How far the user lets the program read their contacts. The numbers are those the desktop platforms
// use for their address-book permission, so values from elsewhere map one to one.
enum class ContactsAuthorizationStatus : int {
    notDetermined = 0,  // never asked
    restricted = 1,     // the address book cannot be read, whatever the user decides
    denied = 2,
    authorized = 3,
    limited = 4,  // only the contacts the user picked
};

// The contacts may be read with full or limited access only.
inline bool allowsReading(ContactsAuthorizationStatus status) {
    return status == ContactsAuthorizationStatus::authorized || status == ContactsAuthorizationStatus::limited;
}

// What one read of the address book gave: every contact read, and a plain sentence for each part that
// could not be read (the contacts are then those read before and after it).
struct ContactsFetchResult {
    std::vector<Contact> contacts;
    std::vector<std::string> errors;

    friend bool operator==(const ContactsFetchResult&, const ContactsFetchResult&) = default;
};

// The user's answer to the access question could not be stored.
class ContactsAccessError : public UserFacingError {
public:
    using UserFacingError::UserFacingError;
};

// Whom a request for access asks: only a user who never decided, or also one who refused before (the
// program's own question is where access is given on this platform, so it is asked again on request).
enum class AccessQuestion { whenUndecided, evenAfterRefusal };

// The user's address book. Every member may be called from any thread.
class ContactsStore {
public:
    virtual ~ContactsStore() = default;

    virtual ContactsAuthorizationStatus authorizationStatus() const = 0;

    // Asks the user for access when it was never decided (or, as `question` says, refused), and records
    // the answer; otherwise asks nothing. Returns whether the contacts may now be read (authorized or
    // limited). Blocks while the user answers: call it off the main thread. Throws CancelledError when
    // `stop` is requested and ContactsAccessError when the answer cannot be stored.
    virtual bool requestAccess(std::stop_token stop, AccessQuestion question = AccessQuestion::whenUndecided) = 0;

    // Every contact the program may see: none without access, only the picked ones with limited
    // access. Throws CancelledError when `stop` is requested.
    virtual ContactsFetchResult fetchContacts(std::stop_token stop) const = 0;

    // Opaque bytes that change whenever the contacts or the access decision change; absent without
    // access. The first call may read every card, so make it off the main thread; later ones only
    // look at what changed, and nothing at all while the store watches its files (the token then
    // moves with each announced change).
    virtual std::optional<std::string> currentHistoryToken() const = 0;

    // Calls `onChange` on the main thread after the contacts or the access decision changed, once
    // per burst of changes, for as long as the subscription lives.
    virtual ContactsChangeSubscription subscribe(std::function<void()> onChange) = 0;

    // A plain sentence for the user when the stored access decision was found damaged as the store was
    // made: access then counts as never decided, though the user may well have granted it before.
    virtual std::optional<std::string> decisionProblem() const { return std::nullopt; }
};

}  // namespace nudgerly
