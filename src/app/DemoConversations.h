#pragma once

#include "core/Date.h"
#include "review/ConversationBatch.h"

namespace nudgerly::DemoConversations {

// A small, made-up inbox of the kinds of conversations the queue is for, dated relative to `now`:
// what the program shows where no real source is set up.
ConversationBatch batch(Date now);

}  // namespace nudgerly::DemoConversations
