#include "review/PartialSnapshotPolicy.h"

namespace nudgerly::PartialSnapshotPolicy {

ReviewSnapshot preservingUnavailableConversations(const std::optional<ReviewSnapshot>& previous,
                                                  const ReviewSnapshot& fresh,
                                                  const std::set<std::string>& conversationIDs) {
    if (!previous || conversationIDs.empty()) {
        return fresh;
    }

    std::set<std::string> freshItemIDs;
    for (const auto& item : fresh.items) {
        freshItemIDs.insert(item.id);
    }
    std::vector<ReviewItem> keptItems;
    for (const auto& item : previous->items) {
        if (conversationIDs.contains(item.id) && !freshItemIDs.contains(item.id)) {
            keptItems.push_back(item);
        }
    }

    std::set<std::string> freshCacheIDs;
    if (fresh.classificationCache) {
        for (const auto& entry : *fresh.classificationCache) {
            freshCacheIDs.insert(entry.conversationID);
        }
    }
    std::vector<CachedConversationClassification> keptEntries;
    if (previous->classificationCache) {
        for (const auto& entry : *previous->classificationCache) {
            if (conversationIDs.contains(entry.conversationID) && !freshCacheIDs.contains(entry.conversationID)) {
                keptEntries.push_back(entry);
            }
        }
    }

    if (keptItems.empty() && keptEntries.empty()) {
        return fresh;
    }
    ReviewSnapshot result = fresh;
    result.items.insert(result.items.end(), keptItems.begin(), keptItems.end());
    if (!result.classificationCache) {
        result.classificationCache.emplace();
    }
    result.classificationCache->insert(result.classificationCache->end(), keptEntries.begin(), keptEntries.end());
    return result;
}

}  // namespace nudgerly::PartialSnapshotPolicy
