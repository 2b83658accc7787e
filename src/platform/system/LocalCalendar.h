#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/Date.h"

namespace nudgerly {

// Dates as the user sees them: ICU's default locale and time zone (from the environment: LANG, TZ, and
// the system's zone), as they were when the calendar was made. Formatted texts are remembered, since the same dates
// come up refresh after refresh. Not thread-safe.
class LocalCalendar {
public:
    LocalCalendar();
    ~LocalCalendar();
    LocalCalendar(const LocalCalendar&) = delete;
    LocalCalendar& operator=(const LocalCalendar&) = delete;

    // The date with the ICU pattern, e.g. "MMM d · h:mm a" gives "Mar 1 · 9:30 AM".
    std::string format(Date date, const std::string& pattern);

    // Whether the calendar still follows the current default locale and time zone (a change of the
    // system's zone is noticed here too).
    bool isCurrent() const;
    // The same wall-clock time `days` calendar days later (earlier when negative), so a day across a
    // daylight-saving change is 23 or 25 hours. Absent when the calendar cannot say.
    std::optional<Date> addingDays(Date date, int64_t days);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace nudgerly
