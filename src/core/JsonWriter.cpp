#include "core/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/Text.h"

namespace nudgerly::JsonWriter {
namespace {

constexpr double twoToThe53 = 9007199254740992.0;

bool needsEscape(unsigned char c) {
    return c < 0x20 || c == '"' || c == '\\' || c == '/';
}

void appendEscaped(std::string& out, const std::string& raw) {
    // Strings from outside may carry invalid UTF-8; write U+FFFD for it rather than failing.
    const std::string repaired = text::isValidUtf8(raw) ? std::string() : text::makeValidUtf8(raw);
    const std::string_view text = repaired.empty() ? std::string_view(raw) : std::string_view(repaired);
    static constexpr char hex[] = "0123456789abcdef";
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!needsEscape(c)) {
            continue;
        }
        out.append(text, runStart, i - runStart);  // copy the plain run in one go
        runStart = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '/': out += "\\/"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
        }
    }
    out.append(text, runStart, text.size() - runStart);
    out += '"';
}

template <typename Integer>
void appendInteger(std::string& out, Integer value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void newline(std::string& out, Style style, int depth) {
    if (style == Style::pretty) {
        out += '\n';
        out.append(static_cast<std::size_t>(depth) * 2, ' ');
    }
}

template <typename Json>
void writeValue(std::string& out, const Json& value, Style style, int depth) {
    using Type = nlohmann::json::value_t;
    switch (value.type()) {
        case Type::null: out += "null"; break;
        case Type::boolean: out += value.template get<bool>() ? "true" : "false"; break;
        case Type::number_integer: appendInteger(out, value.template get<int64_t>()); break;
        case Type::number_unsigned: appendInteger(out, value.template get<uint64_t>()); break;
        case Type::number_float: out += formatDouble(value.template get<double>()); break;
        case Type::string: appendEscaped(out, value.template get_ref<const std::string&>()); break;
        case Type::array: {
            const auto& array = value.template get_ref<const typename Json::array_t&>();
            if (array.empty()) {
                out += "[]";
                break;
            }
            out += '[';
            bool first = true;
            for (const auto& element : array) {
                if (!first) {
                    out += ',';
                }
                first = false;
                newline(out, style, depth + 1);
                writeValue(out, element, style, depth + 1);
            }
            newline(out, style, depth);
            out += ']';
            break;
        }
        case Type::object: {
            // nlohmann::json's object is a std::map<std::string, ...>: its order is the byte order of
            // the keys, which is the sorted-keys order we need. An ordered_json keeps insertion order.
            const auto& object = value.template get_ref<const typename Json::object_t&>();
            if (object.empty()) {
                out += "{}";
                break;
            }
            out += '{';
            bool first = true;
            for (const auto& [key, member] : object) {
                if (!first) {
                    out += ',';
                }
                first = false;
                newline(out, style, depth + 1);
                appendEscaped(out, key);
                out += style == Style::pretty ? " : " : ":";
                writeValue(out, member, style, depth + 1);
            }
            newline(out, style, depth);
            out += '}';
            break;
        }
        case Type::binary:
        case Type::discarded: throw JsonEncodingError("This value cannot be written as JSON.");
    }
}

}  // namespace

std::string formatDouble(double value) {
    if (!std::isfinite(value)) {
        throw JsonEncodingError("A number that is not finite cannot be written as JSON.");
    }
    const double magnitude = std::fabs(value);
    if (value == std::trunc(value) && magnitude <= twoToThe53) {
        if (value == 0 && std::signbit(value)) {
            return "-0";
        }
        std::string out;
        appendInteger(out, static_cast<int64_t>(value));
        return out;
    }

    // Shortest digits that read back as the same double, as "d.ddde±x".
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string scientific(buffer, result.ptr);
    const auto ePosition = scientific.find('e');
    std::string mantissa = scientific.substr(0, ePosition);
    const int exponent = std::stoi(scientific.substr(ePosition + 1));
    const bool negative = mantissa[0] == '-';
    if (negative) {
        mantissa.erase(0, 1);
    }
    std::string digits;
    for (const char c : mantissa) {
        if (c != '.') {
            digits += c;
        }
    }

    std::string out = negative ? "-" : "";
    if (exponent < -4 || magnitude > twoToThe53) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += exponent < 0 ? "e-" : "e+";
        const int absolute = exponent < 0 ? -exponent : exponent;
        if (absolute < 10) {
            out += '0';
        }
        appendInteger(out, absolute);
        return out;
    }
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return out;
    }
    const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
        // Not reached for whole numbers (handled above); kept for safety.
        out += digits;
        out.append(integerDigits - digits.size(), '0');
        return out;
    }
    out.append(digits, 0, integerDigits);
    out += '.';
    out.append(digits, integerDigits);
    return out;
}

std::string write(const nlohmann::json& value, Style style) {
    std::string out;
    writeValue(out, value, style, 0);
    return out;
}

std::string write(const nlohmann::ordered_json& value, Style style) {
    std::string out;
    writeValue(out, value, style, 0);
    return out;
}

}  // namespace nudgerly::JsonWriter
