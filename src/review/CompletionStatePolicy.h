#pragma once

#include <set>
#include <string>
#include <vector>

#include "review/ReviewItem.h"

// Items without a completion key are marked completed by their id. After a refresh these marks are
// turned into key marks when the refreshed item shows that nothing new arrived.
namespace nudgerly::CompletionStatePolicy {

// Returns the new completed set. For each previous item that has no key and whose id is marked: when
// the refreshed item with that id has the same latest time to the whole second, its key replaces the
// mark (or, when it still has no key, the id mark stays); otherwise the mark is dropped. Other marks
// are left as they are.
std::set<std::string> migratingLegacyItems(const std::set<std::string>& completed,
                                           const std::vector<ReviewItem>& previousItems,
                                           const std::vector<ReviewItem>& refreshedItems);

}  // namespace nudgerly::CompletionStatePolicy
