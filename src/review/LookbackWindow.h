#pragma once

#include <array>
#include <utility>

#include "core/RawEnum.h"

namespace nudgerly {

// How many days back a refresh reads; the raw value is the day count. A caller that needs a window
// for an arbitrary day count uses `seven` when the count is not one of the cases.
enum class LookbackWindow { three, seven, thirty, sixty, ninety };

template <>
struct RawEnumTable<LookbackWindow> {
    static constexpr std::array entries{
        std::pair{LookbackWindow::three, 3},   std::pair{LookbackWindow::seven, 7},
        std::pair{LookbackWindow::thirty, 30}, std::pair{LookbackWindow::sixty, 60},
        std::pair{LookbackWindow::ninety, 90},
    };
};

}  // namespace nudgerly
