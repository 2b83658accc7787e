#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Regex.h"
#include "review/Classification.h"
#include "review/Conversation.h"
#include "review/ReviewStatus.h"

// Judges a Messages conversation whose latest inbound message is a shared link on the words the user
// sees (display text or preview title) rather than on the raw link.
namespace nudgerly::RichLinkGuardrail {

// The heuristic's decision on the visible words, with a summary that says a link was shared when
// something is owed; nothing unless the latest inbound Messages message carries a link preview.
std::optional<Classification> classifyIfPresent(const Conversation& conversation);

// "<person> shared a link …": the summary of an owed rich-link message.
std::string summary(std::string_view person, ReviewStatus status, std::string_view visibleText);

// The compiled expressions used here, for the test that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::RichLinkGuardrail
