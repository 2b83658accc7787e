#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/CodedField.h"
#include "core/Date.h"
#include "core/RawEnum.h"

namespace nudgerly {

// Raised when JSON does not have the shape a value needs: a missing required key, a value of the
// wrong type, an unknown enumeration string. One bad member fails the whole containing value.
class JsonDecodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How dates are written and read; the caller of a coder chooses, as each stored format differs.
enum class DateCoding {
    referenceDateSeconds,  // a number: seconds since 2001-01-01 (the default of the stored tokens)
    unixSeconds,           // a number: seconds since 1970-01-01 (fingerprints, prompt payloads)
    iso8601,               // "2026-03-01T09:30:00Z" (snapshot files)
};

struct JsonCoding {
    DateCoding dates = DateCoding::referenceDateSeconds;
};

// Parses JSON text; malformed text (including invalid UTF-8 inside strings) is a JsonDecodingError.
nlohmann::json parseJson(std::string_view text);
// The same, refusing text whose arrays and objects nest more than `maxDepth` levels: copying or
// writing a value recurses once per level, so a deep enough value would overflow the stack.
nlohmann::json parseJson(std::string_view text, int maxDepth);
// The same for text or a stream, each value shown to nlohmann's parser `callback` as it is read; what
// the callback or the stream throws is passed on.
template <typename Input>
nlohmann::json parseJson(Input&& input, const nlohmann::json::parser_callback_t& callback) {
    try {
        return nlohmann::json::parse(std::forward<Input>(input), callback);
    } catch (const nlohmann::json::exception& error) {
        throw JsonDecodingError(std::string("The data is not valid JSON: ") + error.what());
    }
}

namespace Json {

// A decodable type T provides `static T fromJson(const nlohmann::json&, const JsonCoding&)`; a coded
// type also `nlohmann::json toJson(const JsonCoding&) const`.
template <typename T>
concept Decodable = requires(const nlohmann::json& j, const JsonCoding& coding) {
    { T::fromJson(j, coding) } -> std::same_as<T>;
};

template <typename T>
concept Coded = Decodable<T> && requires(const T& value, const JsonCoding& coding) {
    { value.toJson(coding) } -> std::convertible_to<nlohmann::json>;
};

// Readers of single values with strict types: a bool is only true/false, an integer is a number with
// no fraction that fits, a double is any number, a string only a string.
std::string readString(const nlohmann::json& value);
bool readBool(const nlohmann::json& value);
int64_t readInt(const nlohmann::json& value);
uint64_t readUInt(const nlohmann::json& value);
double readDouble(const nlohmann::json& value);
Date readDate(const nlohmann::json& value, const JsonCoding& coding);

// Writes a date; throws JsonEncodingError when it cannot be written in the chosen form.
nlohmann::json writeDate(Date date, const JsonCoding& coding);

template <typename T>
T read(const nlohmann::json& value, const JsonCoding& coding);

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {};

template <typename T>
T read(const nlohmann::json& value, const JsonCoding& coding) {
    if constexpr (std::is_same_v<T, std::string>) {
        return readString(value);
    } else if constexpr (std::is_same_v<T, bool>) {
        return readBool(value);
    } else if constexpr (std::is_same_v<T, int64_t>) {
        return readInt(value);
    } else if constexpr (std::is_same_v<T, uint64_t>) {
        return readUInt(value);
    } else if constexpr (std::is_same_v<T, double>) {
        return readDouble(value);
    } else if constexpr (std::is_same_v<T, Date>) {
        return readDate(value, coding);
    } else if constexpr (RawEnum<T>) {
        std::optional<T> parsed;
        if constexpr (std::is_same_v<RawValueOf<T>, std::string_view>) {
            parsed = fromRaw<T>(readString(value));
        } else {
            const int64_t number = readInt(value);
            const auto raw = static_cast<RawValueOf<T>>(number);
            if (static_cast<int64_t>(raw) == number) {
                parsed = fromRaw<T>(raw);
            }
        }
        if (!parsed) {
            throw JsonDecodingError("The value is not one of the known cases.");
        }
        return *parsed;
    } else if constexpr (IsVector<T>::value) {
        if (!value.is_array()) {
            throw JsonDecodingError("Expected an array.");
        }
        T result;
        result.reserve(value.size());
        for (const auto& element : value) {
            result.push_back(read<typename T::value_type>(element, coding));
        }
        return result;
    } else {
        static_assert(Decodable<T>, "no JSON reader for this type");
        return T::fromJson(value, coding);
    }
}

template <typename T>
nlohmann::json write(const T& value, const JsonCoding& coding) {
    if constexpr (std::is_same_v<T, Date>) {
        return writeDate(value, coding);
    } else if constexpr (RawEnum<T>) {
        if constexpr (std::is_same_v<RawValueOf<T>, std::string_view>) {
            return std::string(toRaw(value));
        } else {
            return toRaw(value);
        }
    } else if constexpr (IsVector<T>::value) {
        nlohmann::json array = nlohmann::json::array();
        for (const auto& element : value) {
            array.push_back(write(element, coding));
        }
        return array;
    } else if constexpr (Coded<T>) {
        return value.toJson(coding);
    } else {
        return nlohmann::json(value);
    }
}

// The object itself; throws unless `value` is a JSON object.
const nlohmann::json& object(const nlohmann::json& value);

// A required member: missing, null or of the wrong type fails.
template <typename T>
T required(const nlohmann::json& object, std::string_view key, const JsonCoding& coding = {}) {
    const auto it = object.find(key);
    if (it == object.end()) {
        throw JsonDecodingError("Missing key \"" + std::string(key) + "\".");
    }
    try {
        return read<T>(*it, coding);
    } catch (const JsonDecodingError& error) {
        throw JsonDecodingError("Key \"" + std::string(key) + "\": " + error.what());
    }
}

// An optional member: missing or null reads as absent; any other wrong type still fails.
template <typename T>
std::optional<T> optional(const nlohmann::json& object, std::string_view key, const JsonCoding& coding = {}) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    try {
        return read<T>(*it, coding);
    } catch (const JsonDecodingError& error) {
        throw JsonDecodingError("Key \"" + std::string(key) + "\": " + error.what());
    }
}

template <typename T>
void set(nlohmann::json& object, const std::string& key, const T& value, const JsonCoding& coding = {}) {
    object[key] = write(value, coding);
}

// Absent optionals (std::optional, HeapOptional) are left out, never written as null.
template <typename Optional>
void setOptional(nlohmann::json& object, const std::string& key, const Optional& value, const JsonCoding& coding = {}) {
    if (value) {
        object[key] = write(*value, coding);
    }
}

template <typename T>
struct IsOptional : std::false_type {};
template <typename T>
struct IsOptional<std::optional<T>> : std::true_type {};

// The JSON object of a value from its table of coded fields; absent optionals are left out.
template <HasCodedFields T>
nlohmann::json writeFields(const T& value, const JsonCoding& coding) {
    nlohmann::json j = nlohmann::json::object();
    forEachCodedField<T>([&](const auto& field) {
        const auto& member = value.*field.member;
        if constexpr (IsOptional<std::remove_cvref_t<decltype(member)>>::value) {
            setOptional(j, field.key, member, coding);
        } else {
            set(j, field.key, member, coding);
        }
    });
    return j;
}

// A value read from a JSON object through its table of coded fields; members outside the table keep
// their defaults. Optional members may be missing or null, the others are required.
template <HasCodedFields T>
T readFields(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& j = object(value);
    T result{};
    forEachCodedField<T>([&](const auto& field) {
        auto& member = result.*field.member;
        using Member = std::remove_cvref_t<decltype(member)>;
        if constexpr (IsOptional<Member>::value) {
            member = optional<typename Member::value_type>(j, field.key, coding);
        } else {
            member = required<Member>(j, field.key, coding);
        }
    });
    return result;
}

}  // namespace Json
}  // namespace nudgerly
