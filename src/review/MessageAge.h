#pragma once

#include <string>

#include "core/Date.h"

// The short age text of a queue row: "Today", "3 days", "2 weeks", "5 months", "1 year".
namespace nudgerly::MessageAge {

// Months count as 30 days and years as 365; no calendar is consulted. Dates in the future, and times
// that are not finite, read as "Today".
std::string label(Date since, Date now);

}  // namespace nudgerly::MessageAge
