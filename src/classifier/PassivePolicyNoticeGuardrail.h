#pragma once

#include <optional>

#include "review/Classification.h"
#include "review/Conversation.h"

// Settles a Gmail conversation whose latest message only announces a policy or terms update.
namespace nudgerly::PassivePolicyNoticeGuardrail {

// The passive-notice decision (nothing owed) when the subject and latest text form a passive notice;
// nothing for other sources, for an empty conversation or when the user wrote last.
std::optional<Classification> classifyIfCertain(const Conversation& conversation);

}  // namespace nudgerly::PassivePolicyNoticeGuardrail
