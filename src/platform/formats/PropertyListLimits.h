#pragma once

#include <cstddef>
#include <string_view>

namespace nudgerly {

// How much untrusted property-list bytes may ask of libplist. Its parsers recurse once per level,
// copy an object once for every reference to it (so a few bytes can expand without bound, or round a
// cycle until the stack runs out), and its string readers abort the process on a dictionary key
// holding NUL; so bytes are measured against these limits, and checked for such keys, before libplist
// sees them.
struct PropertyListLimits {
    std::size_t maxBytes = 16 * 1024 * 1024;
    // Levels of arrays and dictionaries, the outermost counting as one.
    std::size_t maxDepth = 512;
    // Nodes of the parsed tree, keys included, with every reference to a shared object counted.
    std::size_t maxNodes = 250'000;

    friend bool operator==(const PropertyListLimits&, const PropertyListLimits&) = default;
};

// True when the bytes stay within the limits and hold no NUL where libplist cannot bear one: in a
// binary list's dictionary key, or anywhere in an XML list. A cheap walk of the structure, without
// building anything. A binary list whose structure cannot be walked (offsets or references out of
// range) answers false.
bool fitsPropertyListLimits(std::string_view bytes, const PropertyListLimits& limits);

}  // namespace nudgerly
