#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Regex.h"
#include "review/Classification.h"
#include "review/Conversation.h"

// Settles a conversation whose sender says they are waiting on something the user promised to send
// or do, and asks nothing else.
namespace nudgerly::AcknowledgedCommitmentGuardrail {

// An optional follow-up when the latest inbound text (outside quotes) waits on a commitment it
// attributes to the user and does not call it off; otherwise nothing.
std::optional<Classification> classifyIfCertain(const Conversation& conversation);

// Removes every passage in curly or straight double quotes, question or not.
std::string removingQuotedSegments(std::string_view text);

// The text with white space collapsed and trimmed, at most 220 characters (219 and "…" when cut):
// the summary the rules make from a message.
std::string excerpt(std::string_view text);

// The compiled expressions used here, for the test that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::AcknowledgedCommitmentGuardrail
