#pragma once

#include <optional>
#include <vector>

#include "core/Regex.h"
#include "review/Classification.h"
#include "review/Conversation.h"

// Settles a conversation whose latest inbound message is a bare request for an update ("Any
// update?", "What is the status of ...").
namespace nudgerly::DirectAskGuardrail {

// A reply with the fixed update draft when the latest inbound text asks for an update; otherwise
// nothing.
std::optional<Classification> classifyIfCertain(const Conversation& conversation);

// The compiled expressions used here, for the test that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::DirectAskGuardrail
