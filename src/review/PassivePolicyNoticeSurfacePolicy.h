#pragma once

#include <string_view>

#include "review/ReviewSource.h"

// Recognises a Gmail message that only announces an update of a privacy policy, terms or similar
// notice and asks nothing of the user.
namespace nudgerly::PassivePolicyNoticeSurfacePolicy {

// True for a passive notice: it names a policy document and speaks of a change to it, and either
// says no action is needed or demands nothing. Only Gmail text can be a passive notice.
bool excludes(ReviewSource source, std::string_view text);

}  // namespace nudgerly::PassivePolicyNoticeSurfacePolicy
