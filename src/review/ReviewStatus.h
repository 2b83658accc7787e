#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "core/RawEnum.h"

namespace nudgerly {

// What the user owes: a reply, an action, or an optional follow-up ("nudgerly").
enum class ReviewStatus { reply, action, nudgerly };

template <>
struct RawEnumTable<ReviewStatus> {
    static constexpr std::array entries{
        std::pair{ReviewStatus::reply, std::string_view{"reply"}},
        std::pair{ReviewStatus::action, std::string_view{"action"}},
        std::pair{ReviewStatus::nudgerly, std::string_view{"nudgerly"}},
    };
};

}  // namespace nudgerly
