#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/Date.h"
#include "review/ReviewItem.h"
#include "ui/kit/Tone.h"

namespace nudgerly {

// The text and colour of a badge.
struct BadgePresentation {
    std::string text;
    Tone tone = Tone::secondary;

    friend bool operator==(const BadgePresentation&, const BadgePresentation&) = default;
};

// Everything one queue row shows, worked out from its item: what the row delegate paints.
struct RowPresentation {
    std::string sourceSymbol;
    Tone sourceTone = Tone::green;
    std::string person;
    // The age badge; absent when the item has no timestamp, and then `date` is shown in its place.
    std::optional<BadgePresentation> age;
    // The item's date text: the age badge's tooltip, or the plain caption when there is no badge.
    std::string date;
    std::string summary;
    // The status badge; absent when the row does not show its status.
    std::optional<BadgePresentation> status;
    std::string verdict;

    friend bool operator==(const RowPresentation&, const RowPresentation&) = default;
};

RowPresentation rowPresentation(const ReviewItem& item, bool showsStatus, Date now);

namespace AgeBadge {

// Whole days from `timestamp` to `now`, truncated toward zero; absent when that is not a finite number
// within the 64-bit range.
std::optional<int64_t> wholeDays(Date timestamp, Date now);

// 7 days or more red, 3 or more orange, else (also for future times and unusable timestamps) secondary.
Tone color(Date timestamp, Date now);

}  // namespace AgeBadge

}  // namespace nudgerly
