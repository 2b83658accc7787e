#pragma once

#include <vector>

#include "review/ConversationMessage.h"

// Folds a rich-link message into the plain message just before it when the same sender wrote both
// within a minute, so that the text and its link form one turn.
namespace nudgerly::MessageTurnPolicy {

// Input and output oldest first.
std::vector<ConversationMessage> combiningRichLinks(const std::vector<ConversationMessage>& messages);

}  // namespace nudgerly::MessageTurnPolicy
