#pragma once

#include <string>

namespace nudgerly {

// Whether Local AI can run: its server program and model file were found (`bundled`), they were not
// (`missing`), or it cannot run for a reason (`unavailable`).
struct ModelAvailability {
    enum class Kind { unavailable, bundled, missing };

    Kind kind = Kind::missing;
    std::string reason;  // only for `unavailable`

    static ModelAvailability bundled() { return {Kind::bundled, {}}; }
    static ModelAvailability missing() { return {Kind::missing, {}}; }
    static ModelAvailability unavailable(std::string reason) { return {Kind::unavailable, std::move(reason)}; }

    friend bool operator==(const ModelAvailability&, const ModelAvailability&) = default;
};

}  // namespace nudgerly
