#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/Date.h"
#include "core/JsonCoding.h"
#include "review/CachedConversationClassification.h"
#include "review/ReviewItem.h"

namespace nudgerly {

// The saved result of one source's last refresh. There is no version field: compatibility rests on
// the optional fields staying optional.
struct ReviewSnapshot {
    Date generatedAt;
    Date windowStart;
    Date windowEnd;
    int64_t messageCount = 0;
    int64_t activeConversations = 0;
    int64_t inboundEndingCount = 0;
    int64_t clearedCount = 0;       // conversations ending inbound that did not become items
    std::vector<ReviewItem> items;  // the queue, in the classifier's order
    std::optional<std::vector<CachedConversationClassification>> classificationCache;

    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static ReviewSnapshot fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
};

}  // namespace nudgerly
