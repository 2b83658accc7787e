#pragma once

#include "core/UserFacingError.h"

namespace nudgerly {

// A refresh or a Gmail sign-in needs Contacts access, and it is not there.
class ContactsAccessRequiredError : public UserFacingError {
public:
    static constexpr const char* sentence = "Nudgerly requires Contacts access before it can review Messages or Gmail.";
    ContactsAccessRequiredError() : UserFacingError(sentence) {}
};

}  // namespace nudgerly
