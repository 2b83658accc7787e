#pragma once

#include <memory>

#include "platform/contacts/ContactsStore.h"
#include "state/MessagesSource.h"

namespace nudgerly {

// The state object's Messages source over the real reader of the user's chat.db.
std::shared_ptr<MessagesSource> makeMessagesReaderSource(std::shared_ptr<ContactsStore> contacts);

}  // namespace nudgerly
