#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "core/RawEnum.h"

namespace nudgerly {

// What kind of report the user sends; the form lists the cases in this order.
enum class FeedbackCategory { bug, incorrectClassification, experience, featureRequest };

template <>
struct RawEnumTable<FeedbackCategory> {
    static constexpr std::array entries{
        std::pair{FeedbackCategory::bug, std::string_view{"bug"}},
        std::pair{FeedbackCategory::incorrectClassification, std::string_view{"incorrect_classification"}},
        std::pair{FeedbackCategory::experience, std::string_view{"experience"}},
        std::pair{FeedbackCategory::featureRequest, std::string_view{"feature_request"}},
    };
};

}  // namespace nudgerly
