#pragma once

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace nudgerly {

// Raised when a value cannot be written as JSON (a NaN or infinite number, binary data).
class JsonEncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes JSON byte for byte the way the stored formats were first written: object members sorted by
// the UTF-8 bytes of their keys, "/" escaped as "\/", other control characters as lowercase "\u00xx",
// non-ASCII text raw, whole numbers without a fraction ("1", not "1.0"). Completion keys and
// fingerprints hash these bytes, so any change here changes stored identities.
namespace JsonWriter {

enum class Style { compact, pretty };

std::string write(const nlohmann::json& value, Style style = Style::compact);
// The same, with object members in the order they were inserted, for peers that read meaning into
// the order.
std::string write(const nlohmann::ordered_json& value, Style style = Style::compact);

// The text form of one double as the writer prints it (shortest round-trip digits, exponent form
// outside [1e-4, 2^53]). Throws JsonEncodingError for NaN and infinities.
std::string formatDouble(double value);

}  // namespace JsonWriter
}  // namespace nudgerly
