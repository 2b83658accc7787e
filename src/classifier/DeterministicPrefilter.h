#pragma once

#include <optional>
#include <vector>

#include "core/Regex.h"
#include "review/Classification.h"
#include "review/Conversation.h"

// Settles a conversation whose latest inbound message is closed or transactional: a shipping update,
// an automated notice, a closing thanks, work handed to someone else, a support acknowledgement or
// information given without an ask.
namespace nudgerly::DeterministicPrefilter {

// The closed decision (nothing owed) when one of those holds; otherwise nothing.
std::optional<Classification> classifyIfCertain(const Conversation& conversation);

// The compiled expressions used here, for the test that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::DeterministicPrefilter
