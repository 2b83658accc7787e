#pragma once

#include <optional>
#include <set>
#include <vector>

#include "review/ReviewSource.h"

// Which sources a refresh request may start: at most one refresh per source at a time, and a request
// for all sources starts nothing while any source is busy.
namespace nudgerly::RefreshLaunchPolicy {

// An absent source means all sources (the queue shows both).
std::vector<ReviewSource> launchableTargets(std::optional<ReviewSource> source,
                                            const std::set<ReviewSource>& refreshingSources);

}  // namespace nudgerly::RefreshLaunchPolicy
