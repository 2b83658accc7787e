#pragma once

#include <vector>

#include "core/Date.h"
#include "core/Regex.h"
#include "review/Classification.h"
#include "review/Conversation.h"

// The whole-number priority of a queue item: the kind of debt, urgent wording, a direct question,
// sensitive content and age.
namespace nudgerly::PriorityPolicy {

// 0 without a status or without messages; otherwise between 25 and 133.
int score(const Conversation& conversation, const Classification& classification, Date now);

// The same score with the urgent-wording test already answered (it depends only on the subject and the
// latest message's text, so a caller may keep its answer for an unchanged conversation).
int score(const Conversation& conversation, const Classification& classification, Date now, bool urgentWording);

// Whether the subject or the latest message's text uses urgent wording.
bool hasUrgentWording(const Conversation& conversation);

// The compiled expressions used here, for the test that checks every rule's patterns compile.
std::vector<const Regex*> patterns();

}  // namespace nudgerly::PriorityPolicy
