#pragma once

#include <string>
#include <string_view>

#include "review/ReviewSource.h"

// Keeps Messages conversations from businesses and from a few automated senders out of the queue.
namespace nudgerly::SenderExclusionPolicy {

// True to exclude. Gmail is never excluded here. A name is compared after normalisation: lowercased,
// split into runs of letters and numbers, joined by single spaces.
bool excludes(ReviewSource source, std::string_view person, bool isBusinessContact);

// The normalised form used for the comparison.
std::string normalizedName(std::string_view person);

}  // namespace nudgerly::SenderExclusionPolicy
