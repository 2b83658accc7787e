#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "platform/contacts/ContactsStore.h"
#include "review/ConversationBatch.h"
#include "review/LookbackWindow.h"
#include "review/ReviewSnapshot.h"

namespace nudgerly {

// Reads the Messages database (chat.db, copied from a Mac) into conversations for the queue. Every
// call opens its own read-only connection and closes it before it returns, so one reader may serve
// several threads at once; nothing is ever written to the file. The calls block: run them off the main
// thread. A requested stop ends them within moments with CancelledError, even inside a long query.
class MessagesReader {
public:
    // `userFirstName` is how group members address the user ("Alex, can you ...?"); may be empty.
    MessagesReader(std::shared_ptr<ContactsStore> contacts, std::string userFirstName,
                   std::filesystem::path databasePath);

    // The logged-in user's: the first name from the account's full name, the database at
    // messagesDatabasePath().
    static MessagesReader forCurrentUser(std::shared_ptr<ContactsStore> contacts);

    // Every chat whose latest normal message of the window's days came from someone else and still
    // asks something of the user, as a conversation of its last messages, latest chat first, with the
    // window's counts. The three counts are read on connections of their own beside the chats, so
    // while Messages writes to the file they may be of a state a moment apart from the list's; the
    // list and its messages are always of one state. Throws MessagesReaderError: fullDiskAccessRequired
    // when the file cannot be opened, queryFailed when it cannot be read through (a partial read is
    // never returned as a whole one).
    ConversationBatch scan(LookbackWindow window, std::stop_token stop) const;

    // The snapshot without the items and cached classifications whose message has been deleted,
    // or is waiting in "Recently Deleted", since it was saved; absent when none has, so that a queue
    // that stays as it is is not copied. Identifiers of another form are kept. A snapshot with nothing
    // to check is absent without the database being opened. Throws MessagesReaderError.
    std::optional<ReviewSnapshot> removingDeletedMessages(const ReviewSnapshot& snapshot, std::stop_token stop) const;

    // Asks for Contacts access when it was never decided (or refused, as `question` says); true when
    // contacts may now be read. Throws what the store throws (CancelledError, ContactsAccessError).
    bool requestContacts(std::stop_token stop, AccessQuestion question = AccessQuestion::whenUndecided) const;

private:
    std::shared_ptr<ContactsStore> contacts_;
    std::string userFirstName_;
    std::filesystem::path databasePath_;
};

}  // namespace nudgerly
