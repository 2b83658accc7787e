#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <type_traits>
#include <vector>

namespace nudgerly {

// Memberwise hashing for value types: fold each field into the seed in declaration order.
template <typename T>
void hashCombine(std::size_t& seed, const T& value);

template <typename T>
std::size_t hashOne(const T& value) {
    if constexpr (std::is_floating_point_v<T>) {
        return std::hash<T>{}(value == 0 ? T{0} : value);  // 0 and -0 hash alike, as they compare equal
    } else if constexpr (std::is_enum_v<T>) {
        return std::hash<std::underlying_type_t<T>>{}(static_cast<std::underlying_type_t<T>>(value));
    } else {
        return std::hash<T>{}(value);
    }
}

// std::optional, HeapOptional: an absent value hashes apart from every present one.
template <typename T>
requires requires(const T& value) {
    value.has_value();
}
void hashCombine(std::size_t& seed, const T& value) {
    seed ^= (value ? hashOne(*value) + 1 : 0) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

template <typename T>
void hashCombine(std::size_t& seed, const std::vector<T>& values) {
    for (const auto& value : values) {
        hashCombine(seed, value);
    }
    hashCombine(seed, values.size());
}

template <typename T>
void hashCombine(std::size_t& seed, const T& value) {
    seed ^= hashOne(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

template <typename... Fields>
std::size_t hashFields(const Fields&... fields) {
    std::size_t seed = 0;
    (hashCombine(seed, fields), ...);
    return seed;
}

}  // namespace nudgerly
