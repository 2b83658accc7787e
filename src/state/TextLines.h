#pragma once

#include <string>
#include <vector>

namespace nudgerly {

// The texts one per line, in their order, as the alert shows several problems at once.
inline std::string joinLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        joined += (joined.empty() ? "" : "\n") + line;
    }
    return joined;
}

}  // namespace nudgerly
