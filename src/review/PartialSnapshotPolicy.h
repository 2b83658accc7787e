#pragma once

#include <optional>
#include <set>
#include <string>

#include "review/ReviewSnapshot.h"

// Keeps the previous queue entries of conversations that could not be read this time.
namespace nudgerly::PartialSnapshotPolicy {

// The fresh snapshot plus the previous items and cache entries of the given conversations that the
// fresh snapshot lacks, appended after the fresh ones. Counts and dates stay the fresh ones.
ReviewSnapshot preservingUnavailableConversations(const std::optional<ReviewSnapshot>& previous,
                                                  const ReviewSnapshot& fresh,
                                                  const std::set<std::string>& conversationIDs);

}  // namespace nudgerly::PartialSnapshotPolicy
