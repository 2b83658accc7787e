#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "core/RawEnum.h"

namespace nudgerly {

// The order of the queue; the raw value is stored in the settings.
enum class QueueSort { priority, newest, oldest, type };

template <>
struct RawEnumTable<QueueSort> {
    static constexpr std::array entries{
        std::pair{QueueSort::priority, std::string_view{"priority"}},
        std::pair{QueueSort::newest, std::string_view{"newest"}},
        std::pair{QueueSort::oldest, std::string_view{"oldest"}},
        std::pair{QueueSort::type, std::string_view{"type"}},
    };
};

}  // namespace nudgerly
