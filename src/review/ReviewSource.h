#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "core/RawEnum.h"

namespace nudgerly {

// Where a conversation or item comes from; the raw value is stored.
enum class ReviewSource { messages, gmail };

template <>
struct RawEnumTable<ReviewSource> {
    static constexpr std::array entries{
        std::pair{ReviewSource::messages, std::string_view{"messages"}},
        std::pair{ReviewSource::gmail, std::string_view{"gmail"}},
    };
};

// The source's name in the window's texts: "Messages" or "Gmail".
constexpr std::string_view displayName(ReviewSource source) {
    return source == ReviewSource::messages ? "Messages" : "Gmail";
}

}  // namespace nudgerly
