#include "review/RefreshLaunchPolicy.h"

namespace nudgerly::RefreshLaunchPolicy {

std::vector<ReviewSource> launchableTargets(std::optional<ReviewSource> source,
                                            const std::set<ReviewSource>& refreshingSources) {
    if (source) {
        if (refreshingSources.contains(*source)) {
            return {};
        }
        return {*source};
    }
    std::vector<ReviewSource> all;
    for (const ReviewSource s : allCases<ReviewSource>()) {
        if (refreshingSources.contains(s)) {
            return {};
        }
        all.push_back(s);
    }
    return all;
}

}  // namespace nudgerly::RefreshLaunchPolicy
