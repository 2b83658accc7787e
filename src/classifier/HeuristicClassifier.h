#pragma once

#include <vector>

#include "core/Regex.h"
#include "review/Classification.h"
#include "review/Conversation.h"

// The deterministic classifier of Basic Mode: decides from the last messages of a conversation
// whether the user owes a reply, an action or an optional follow-up.
namespace nudgerly::HeuristicClassifier {

// Always a decision; an empty conversation or one the user answered last owes nothing.
Classification classify(const Conversation& conversation);

// The compiled expressions used here, for the test that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::HeuristicClassifier
