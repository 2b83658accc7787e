#pragma once

// Bytes that are no run of one value and differ from one size to the next, for the hashing and
// writing tests: a fault that drops, repeats or reorders a piece changes the result.
#include <cstddef>
#include <string>

namespace nudgerly::test {

inline std::string patternBytes(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>((i * 2654435761u) >> 11);
    }
    return text;
}

}  // namespace nudgerly::test
