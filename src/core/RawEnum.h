#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

namespace nudgerly {

// Enumerations with raw values specialise RawEnumTable with `entries`: an array of (case, raw value)
// pairs in declaration order. That one table gives the list of all cases, the raw value of a case
// and the case for a raw value, so the three can never disagree.
//
//   template <> struct RawEnumTable<ReviewSource> {
//       static constexpr std::array entries{std::pair{ReviewSource::messages, std::string_view{"messages"}}, ...};
//   };
template <typename E>
struct RawEnumTable;

template <typename E>
concept RawEnum = std::is_enum_v<E> && requires {
    RawEnumTable<E>::entries;
};

template <RawEnum E>
using RawValueOf = typename std::remove_cvref_t<decltype(RawEnumTable<E>::entries[0])>::second_type;

template <RawEnum E>
constexpr auto allCases() {
    constexpr auto& entries = RawEnumTable<E>::entries;
    std::array<E, entries.size()> cases{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        cases[i] = entries[i].first;
    }
    return cases;
}

template <RawEnum E>
constexpr RawValueOf<E> toRaw(E value) {
    for (const auto& [c, raw] : RawEnumTable<E>::entries) {
        if (c == value) {
            return raw;
        }
    }
    return RawEnumTable<E>::entries[0].second;  // unreachable for valid cases
}

// The case with exactly this raw value (case-sensitive for strings), or nothing.
template <RawEnum E>
constexpr std::optional<E> fromRaw(RawValueOf<E> raw) {
    for (const auto& [c, r] : RawEnumTable<E>::entries) {
        if (r == raw) {
            return c;
        }
    }
    return std::nullopt;
}

}  // namespace nudgerly
