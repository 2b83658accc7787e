#pragma once

#include <optional>

#include "review/Classification.h"
#include "review/Conversation.h"

// The deterministic guardrails, asked in their fixed order before any model or heuristic runs.
namespace nudgerly::Guardrails {

// The decision of the first guardrail that is certain, in this order: passive policy notice, direct
// ask, acknowledged commitment, rich link, deterministic prefilter. Nothing when none is certain.
std::optional<Classification> firstCertain(const Conversation& conversation);

}  // namespace nudgerly::Guardrails
