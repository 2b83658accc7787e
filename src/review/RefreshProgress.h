#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "review/ReviewSource.h"

namespace nudgerly {

// The progress line of a running refresh.
struct RefreshProgress {
    ReviewSource source = ReviewSource::messages;
    std::string detail;
    std::optional<int64_t> completed;
    std::optional<int64_t> total;

    // "3 of 10 · 7 remaining"; absent unless both counts are known.
    std::optional<std::string> countLabel() const;

    friend bool operator==(const RefreshProgress&, const RefreshProgress&) = default;
};

}  // namespace nudgerly
