#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "core/RawEnum.h"

namespace nudgerly {

// Which part of the program a report is about; the form lists the cases in this order.
enum class FeedbackArea { general, messages, gmail, localAI, interface };

template <>
struct RawEnumTable<FeedbackArea> {
    static constexpr std::array entries{
        std::pair{FeedbackArea::general, std::string_view{"general"}},
        std::pair{FeedbackArea::messages, std::string_view{"messages"}},
        std::pair{FeedbackArea::gmail, std::string_view{"gmail"}},
        std::pair{FeedbackArea::localAI, std::string_view{"local_ai"}},
        std::pair{FeedbackArea::interface, std::string_view{"interface"}},
    };
};

}  // namespace nudgerly
