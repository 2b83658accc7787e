#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/JsonCoding.h"
#include "review/ReviewStatus.h"

namespace nudgerly {

// The decision for one conversation. The local model answers in exactly this JSON shape; the flag
// `needsAction` is keyed "include_in_queue" wherever a classification is written.
struct Classification {
    bool needsAction = false;
    std::optional<ReviewStatus> status;  // absent when nothing is owed
    double confidence = 0;               // 0 to 1
    std::string summary;
    std::string reason;
    std::optional<std::string> draft;  // suggested reply
    std::vector<std::string> tags;
    bool sensitive = false;

    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static Classification fromJson(const nlohmann::json& value, const JsonCoding& coding = {});

    friend bool operator==(const Classification&, const Classification&) = default;
};

}  // namespace nudgerly
