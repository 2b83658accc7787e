#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/HeapOptional.h"
#include "core/JsonCoding.h"
#include "review/Classification.h"
#include "review/ReviewSource.h"

namespace nudgerly {

// One entry of the classification cache kept inside a snapshot. Here the flag is keyed "needsAction";
// inside `classification` it stays "include_in_queue".
struct CachedConversationClassification {
    ReviewSource source = ReviewSource::messages;
    std::string conversationID;
    std::string fingerprint;
    int64_t classifierRevision = 0;
    std::string engineSignature;
    bool needsAction = false;
    // Kept only for a conversation that needs action; most entries have none.
    HeapOptional<Classification> classification;

    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static CachedConversationClassification fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
};

}  // namespace nudgerly
