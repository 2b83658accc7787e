#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Regex.h"
#include "review/Classification.h"
#include "review/Conversation.h"

// Checks and corrects the local model's answer for one conversation: the status is corrected by the
// latest message, answers whose own reasoning says nothing is owed are excluded, self-contradicting
// answers are rejected, and texts and confidence are brought within their limits.
namespace nudgerly::ClassificationPolicy {

// The normalised answer, or nothing when the conversation is empty or the answer contradicts itself
// (the caller treats nothing as an unusable answer).
std::optional<Classification> normalize(const Classification& answer, const Conversation& conversation);

// The text trimmed; when it still has more than `maximumCharacters` characters, its first
// `maximumCharacters` - 1 followed by "…".
std::string boundedField(std::string_view text, std::size_t maximumCharacters);

// The compiled expressions used here, for the test that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::ClassificationPolicy
