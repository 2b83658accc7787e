#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "core/RawEnum.h"

namespace nudgerly {

// The page the main window shows.
enum class Section { queue, accounts, privacy, feedback };

template <>
struct RawEnumTable<Section> {
    static constexpr std::array entries{
        std::pair{Section::queue, std::string_view{"queue"}},
        std::pair{Section::accounts, std::string_view{"accounts"}},
        std::pair{Section::privacy, std::string_view{"privacy"}},
        std::pair{Section::feedback, std::string_view{"feedback"}},
    };
};

}  // namespace nudgerly
