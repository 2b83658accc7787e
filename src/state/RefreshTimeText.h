#pragma once

#include <string>

#include "core/Date.h"
#include "platform/system/LocalCalendar.h"

// How the window tells the time of a refresh, in the user's language and time zone.
namespace nudgerly::RefreshTimeText {

// The time alone in the locale's short style: "3:15 PM" in US English.
std::string shortTime(Date date, LocalCalendar& calendar);

// When a saved queue was made, seen at `now`: "Today at 3:15 PM", "Yesterday at 3:15 PM", else the
// abbreviated month, day, hour and minute in the locale's order ("Dec 8, 3:15 PM").
std::string lastRefreshLabel(Date generatedAt, Date now, LocalCalendar& calendar);

}  // namespace nudgerly::RefreshTimeText
