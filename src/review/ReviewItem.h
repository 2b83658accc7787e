#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/Date.h"
#include "core/HeapOptional.h"
#include "core/JsonCoding.h"
#include "review/MessageLinkPreview.h"
#include "review/ReviewSource.h"
#include "review/ReviewStatus.h"

namespace nudgerly {

// One queue entry, identified by its conversation's id.
struct ReviewItem {
    std::string id;
    std::optional<std::string> completionKey;  // absent when the conversation has no inbound message
    ReviewSource source = ReviewSource::messages;
    ReviewStatus status = ReviewStatus::reply;
    std::string person;
    std::optional<std::string> target;
    std::string date;  // display text of the latest message's time
    std::optional<Date> timestamp;
    std::optional<int64_t> priority;
    std::optional<bool> isKnownContact;
    std::string summary;
    std::string context;  // the latest message's text as shown
    std::string verdict;  // the classification's reason
    std::optional<std::string> draft;
    std::vector<std::string> tags;
    std::optional<std::string> openURL;
    std::optional<double> confidence;
    HeapOptional<MessageLinkPreview> messageLinkPreview;  // few items have one

    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static ReviewItem fromJson(const nlohmann::json& value, const JsonCoding& coding = {});

    friend bool operator==(const ReviewItem&, const ReviewItem&) = default;
};

}  // namespace nudgerly

template <>
struct std::hash<nudgerly::ReviewItem> {
    std::size_t operator()(const nudgerly::ReviewItem& item) const noexcept;
};
