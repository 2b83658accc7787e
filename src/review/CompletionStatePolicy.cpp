#include "review/CompletionStatePolicy.h"

#include <cmath>
#include <map>

namespace nudgerly::CompletionStatePolicy {
namespace {

// Whole seconds since 1970, rounded toward the past; compared as doubles so that no value can
// overflow an integer conversion.
bool sameWholeSecond(Date a, Date b) {
    return std::floor(a.unixSeconds()) == std::floor(b.unixSeconds());
}

}  // namespace

std::set<std::string> migratingLegacyItems(const std::set<std::string>& completed,
                                           const std::vector<ReviewItem>& previousItems,
                                           const std::vector<ReviewItem>& refreshedItems) {
    if (previousItems.empty()) {
        return completed;
    }
    std::map<std::string, const ReviewItem*> refreshedByID;
    for (const auto& item : refreshedItems) {
        refreshedByID.emplace(item.id, &item);  // the first item with an id wins
    }

    std::set<std::string> result = completed;
    for (const auto& previous : previousItems) {
        if (previous.completionKey || !completed.contains(previous.id)) {
            continue;
        }
        result.erase(previous.id);
        if (!previous.timestamp) {
            continue;
        }
        const auto found = refreshedByID.find(previous.id);
        if (found == refreshedByID.end() || !found->second->timestamp) {
            continue;
        }
        const ReviewItem& refreshed = *found->second;
        if (!sameWholeSecond(*previous.timestamp, *refreshed.timestamp)) {
            continue;
        }
        // Nothing new arrived: carry the mark over, by key when there now is one, else by id (dropping
        // it would bring back an item the user completed after every refresh).
        result.insert(refreshed.completionKey ? *refreshed.completionKey : previous.id);
    }
    return result;
}

}  // namespace nudgerly::CompletionStatePolicy
