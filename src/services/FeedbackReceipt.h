#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/JsonCoding.h"

namespace nudgerly {

// The feedback service's acknowledgement of a report. Its keys are the field names themselves.
struct FeedbackReceipt {
    std::string id;
    std::string status;
    std::optional<bool> duplicate;

    // Throws JsonDecodingError unless "id" and "status" are strings and "duplicate", when present, a bool.
    static FeedbackReceipt fromJson(const nlohmann::json& value, const JsonCoding& coding = {});
    // The receipt in an answer body; absent when the body is not one.
    static std::optional<FeedbackReceipt> decode(std::string_view body);

    friend bool operator==(const FeedbackReceipt&, const FeedbackReceipt&) = default;
};

}  // namespace nudgerly
