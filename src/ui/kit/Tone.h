#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "core/RawEnum.h"

namespace nudgerly {

// The named colours of the window. Widgets that draw in one carry its raw name in their `tone`
// property (see WidgetProperties.h), so tests read the colour by name and never by pixel.
enum class Tone { primary, secondary, tertiary, quaternary, red, orange, green, blue, accent };

template <>
struct RawEnumTable<Tone> {
    static constexpr std::array entries{
        std::pair{Tone::primary, std::string_view{"primary"}},
        std::pair{Tone::secondary, std::string_view{"secondary"}},
        std::pair{Tone::tertiary, std::string_view{"tertiary"}},
        std::pair{Tone::quaternary, std::string_view{"quaternary"}},
        std::pair{Tone::red, std::string_view{"red"}},
        std::pair{Tone::orange, std::string_view{"orange"}},
        std::pair{Tone::green, std::string_view{"green"}},
        std::pair{Tone::blue, std::string_view{"blue"}},
        std::pair{Tone::accent, std::string_view{"accent"}},
    };
};

}  // namespace nudgerly
