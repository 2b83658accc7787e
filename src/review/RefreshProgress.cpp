#include "review/RefreshProgress.h"

#include <algorithm>

namespace nudgerly {

std::optional<std::string> RefreshProgress::countLabel() const {
    if (!completed || !total) {
        return std::nullopt;
    }
    // Compare before subtracting so that extreme counts cannot overflow.
    const int64_t remaining = *total > *completed ? *total - *completed : 0;
    return std::to_string(*completed) + " of " + std::to_string(*total) + " \u00B7 " + std::to_string(remaining) +
           " remaining";
}

}  // namespace nudgerly
