#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nudgerly {

// A JSON text whose top level is an object, cut apart without being parsed, so that the elements of
// its long arrays can be parsed one by one, side by side: for each key asked for, the elements of its
// array as slices of the text, and the rest of the object with those arrays left empty ("[]").
struct JsonObjectSlices {
    std::string rest;
    // Per key asked for, in order: the elements of the key's array; empty when the key is missing.
    std::vector<std::vector<std::string_view>> arrays;
};

// The slices of `text`, or none when it cannot be cut with certainty: its top level is not an object, a
// top-level key holds an escape, a key asked for comes twice (the elements of the array it replaces
// would go unparsed), or its layout is not JSON's. Cutting checks the text between the
// pieces, so the text is valid JSON exactly when the rest and every element parse. Linear in the
// length of `text`.
std::optional<JsonObjectSlices> sliceJsonObject(std::string_view text, std::span<const std::string_view> keys);

}  // namespace nudgerly
