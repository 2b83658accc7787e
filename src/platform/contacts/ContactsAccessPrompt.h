#pragma once

#include <stop_token>

namespace nudgerly {

// Puts the Contacts access question to the user. The window answers it with a dialog.
class ContactsAccessPrompt {
public:
    virtual ~ContactsAccessPrompt() = default;

    // True when the user allows the program to read their contacts. Called on a worker thread; blocks
    // until the user answers. When `stop` is requested it may return at once with false or throw
    // CancelledError; the answer is then not recorded.
    virtual bool askForContactsAccess(std::stop_token stop) = 0;
};

}  // namespace nudgerly
