#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nudgerly {

// One progress line of a Gmail refresh. The counts are present while threads are fetched only.
struct ScanProgressUpdate {
    std::string detail;
    std::optional<int64_t> completed;
    std::optional<int64_t> total;

    friend bool operator==(const ScanProgressUpdate&, const ScanProgressUpdate&) = default;
};

}  // namespace nudgerly
