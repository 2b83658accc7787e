#pragma once

#include <optional>
#include <string>

#include "review/Conversation.h"

// A completion key names one conversation together with its latest inbound message, so a completed
// item stays completed until the other side writes again. Keys are stored in the user's settings:
// the bytes hashed here must never change, or every completed item would come back.
namespace nudgerly::CompletionKeyPolicy {

inline constexpr const char* prefix = "completion-v1:";

// "completion-v1:" + lowercase hex SHA-256 of the sorted-key JSON of source, conversation id, the
// latest inbound message's text and the bit pattern of its date. Absent when no message is inbound.
std::optional<std::string> key(const Conversation& conversation);

}  // namespace nudgerly::CompletionKeyPolicy
