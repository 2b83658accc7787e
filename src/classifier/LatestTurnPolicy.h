#pragma once

#include <optional>

#include "review/Classification.h"
#include "review/Conversation.h"

// The second, narrower model pass: when the latest inbound message still holds a real question but
// the first answer played it down, the model is asked about that message alone, and a confident yes
// turns the answer into a reply.
namespace nudgerly::LatestTurnPolicy {

// True when the latest message is inbound, holds a question mark outside quotes, and the primary
// (already normalised) answer is an optional follow-up or nothing.
bool needsAdjudication(const Conversation& conversation, const Classification& primary);

// The latest-turn answer as a reply or as nothing owed; nothing when the user wrote last.
std::optional<Classification> normalizeAssessment(const Classification& answer, const Conversation& conversation);

// The reply that replaces the primary answer when the assessment is a confident reply; nothing keeps
// the primary.
std::optional<Classification> replyOverride(const Classification& primary, const Classification& assessment,
                                            const Conversation& conversation);

}  // namespace nudgerly::LatestTurnPolicy
