#include "core/JsonCoding.h"

#include <cmath>
#include <limits>

#include "core/JsonWriter.h"

namespace nudgerly {

nlohmann::json parseJson(std::string_view text) {
    return parseJson(text, nullptr);
}

nlohmann::json parseJson(std::string_view text, int maxDepth) {
    // The parser itself keeps its own stack; the callback sees each level as it opens.
    return parseJson(text, [maxDepth](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
        const bool opens =
            event == nlohmann::json::parse_event_t::object_start || event == nlohmann::json::parse_event_t::array_start;
        if (opens && depth >= maxDepth) {
            throw JsonDecodingError("The data is nested too deeply.");
        }
        return true;
    });
}

namespace Json {
namespace {

constexpr double twoToThe63 = 9223372036854775808.0;
constexpr double twoToThe64 = 18446744073709551616.0;

std::string typeName(const nlohmann::json& value) {
    return value.type_name();
}

JsonDecodingError typeMismatch(const char* expected, const nlohmann::json& value) {
    return JsonDecodingError(std::string("Expected ") + expected + " but found " + typeName(value) + ".");
}

}  // namespace

const nlohmann::json& object(const nlohmann::json& value) {
    if (!value.is_object()) {
        throw typeMismatch("an object", value);
    }
    return value;
}

std::string readString(const nlohmann::json& value) {
    if (!value.is_string()) {
        throw typeMismatch("a string", value);
    }
    return value.get<std::string>();
}

bool readBool(const nlohmann::json& value) {
    if (!value.is_boolean()) {
        throw typeMismatch("a boolean", value);
    }
    return value.get<bool>();
}

int64_t readInt(const nlohmann::json& value) {
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return value.get<int64_t>();
    }
    if (value.is_number_unsigned()) {
        const auto unsignedValue = value.get<uint64_t>();
        if (unsignedValue <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return static_cast<int64_t>(unsignedValue);
        }
        throw JsonDecodingError("The number does not fit a 64-bit integer.");
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        if (std::isfinite(d) && d == std::trunc(d) && d >= -twoToThe63 && d < twoToThe63) {
            return static_cast<int64_t>(d);
        }
        throw JsonDecodingError("The number is not an integer that fits 64 bits.");
    }
    throw typeMismatch("an integer", value);
}

uint64_t readUInt(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        return value.get<uint64_t>();
    }
    if (value.is_number_integer()) {
        throw JsonDecodingError("The number is negative.");
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        if (std::isfinite(d) && d == std::trunc(d) && d >= 0 && d < twoToThe64) {
            return static_cast<uint64_t>(d);
        }
        throw JsonDecodingError("The number is not an unsigned integer that fits 64 bits.");
    }
    throw typeMismatch("an unsigned integer", value);
}

double readDouble(const nlohmann::json& value) {
    if (!value.is_number()) {
        throw typeMismatch("a number", value);
    }
    return value.get<double>();
}

Date readDate(const nlohmann::json& value, const JsonCoding& coding) {
    switch (coding.dates) {
        case DateCoding::referenceDateSeconds: return Date{readDouble(value)};
        case DateCoding::unixSeconds: return Date::fromUnix(readDouble(value));
        case DateCoding::iso8601: {
            const auto parsed = Iso8601::parse(readString(value));
            if (!parsed) {
                throw JsonDecodingError("Expected date string to be ISO8601-formatted.");
            }
            return *parsed;
        }
    }
    throw JsonDecodingError("Unknown date coding.");
}

nlohmann::json writeDate(Date date, const JsonCoding& coding) {
    switch (coding.dates) {
        case DateCoding::referenceDateSeconds:
            if (!std::isfinite(date.secondsSinceReferenceDate)) {
                throw JsonEncodingError("A date that is not finite cannot be written as JSON.");
            }
            return date.secondsSinceReferenceDate;
        case DateCoding::unixSeconds:
            if (!std::isfinite(date.unixSeconds())) {
                throw JsonEncodingError("A date that is not finite cannot be written as JSON.");
            }
            return date.unixSeconds();
        case DateCoding::iso8601: {
            const auto text = Iso8601::format(date);
            if (!text) {
                throw JsonEncodingError("The date cannot be written in ISO 8601 form.");
            }
            return *text;
        }
    }
    throw JsonEncodingError("Unknown date coding.");
}

}  // namespace Json
}  // namespace nudgerly
