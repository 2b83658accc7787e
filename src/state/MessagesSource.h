#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>

#include "platform/contacts/ContactsStore.h"
#include "review/ConversationBatch.h"
#include "review/LookbackWindow.h"
#include "review/ReviewSnapshot.h"

namespace nudgerly {

// What the state object needs of the Messages database reader. Every call blocks: run it off the main
// thread. Each throws CancelledError when `stop` is requested, and a UserFacingError when the database
// cannot be opened or read.
class MessagesSource {
public:
    virtual ~MessagesSource() = default;

    // The conversations of the lookback's days whose latest message is inbound, with contact names.
    virtual ConversationBatch scan(LookbackWindow lookback, std::stop_token stop) = 0;

    // Asks for Contacts access when it was never decided, or refused as `question` says (the window
    // shows the question meanwhile); whether access is now granted. Throws the store's error when the
    // answer cannot be had or kept.
    virtual bool requestContacts(std::stop_token stop, AccessQuestion question) = 0;

    // The snapshot with only the Messages items whose latest message is still in the database and not
    // deleted, every other field as it was; absent when nothing is gone.
    virtual std::optional<ReviewSnapshot> removingDeletedMessages(const ReviewSnapshot& snapshot,
                                                                  std::stop_token stop) = 0;
};

}  // namespace nudgerly
