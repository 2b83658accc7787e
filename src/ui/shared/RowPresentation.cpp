#include "ui/shared/RowPresentation.h"

#include <cmath>

#include "review/MessageAge.h"
#include "ui/shared/ReviewDisplay.h"

namespace nudgerly {

namespace AgeBadge {

std::optional<int64_t> wholeDays(Date timestamp, Date now) {
    const double days = std::trunc(now.secondsSince(timestamp) / 86400);
    // 2^63 is exactly representable; anything at or past it (or NaN) has no 64-bit day count.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(days) || days >= limit || days < -limit) {
        return std::nullopt;
    }
    return static_cast<int64_t>(days);
}

Tone color(Date timestamp, Date now) {
    const std::optional<int64_t> days = wholeDays(timestamp, now);
    if (!days) {
        return Tone::secondary;
    }
    if (*days >= 7) {
        return Tone::red;
    }
    if (*days >= 3) {
        return Tone::orange;
    }
    return Tone::secondary;
}

}  // namespace AgeBadge

RowPresentation rowPresentation(const ReviewItem& item, bool showsStatus, Date now) {
    RowPresentation row{
        .sourceSymbol = std::string(ReviewDisplay::sourceSymbol(item.source)),
        .sourceTone = ReviewDisplay::sourceTone(item.source),
        .person = item.person,
        .date = item.date,
        .summary = item.summary,
        .verdict = item.verdict,
    };
    if (item.timestamp) {
        row.age = BadgePresentation{MessageAge::label(*item.timestamp, now), AgeBadge::color(*item.timestamp, now)};
    }
    if (showsStatus) {
        row.status =
            BadgePresentation{ReviewDisplay::statusCaption(item.status), ReviewDisplay::statusTone(item.status)};
    }
    return row;
}

}  // namespace nudgerly
