#include "platform/system/SettingsStore.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/Base64.h"
#include "core/JsonWriter.h"

namespace nudgerly {
namespace {

constexpr const char* dataTag = "$data";

std::string_view skippingLeadingSpace(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    return text;
}

double leadingDouble(std::string_view text) {
    text = skippingLeadingSpace(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double result = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), result);
    return parsed.ec == std::errc() && std::isfinite(result) ? result : 0;
}

int64_t clampedInteger(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double limit = 9223372036854775807.0;
    if (value >= limit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (value <= -limit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(value);
}

}  // namespace

std::optional<std::string> SettingsStore::string(std::string_view key) const {
    const auto stored = value(key);
    if (!stored) {
        return std::nullopt;
    }
    if (stored->is_string()) {
        return stored->get<std::string>();
    }
    if (stored->is_number_float()) {
        try {
            return JsonWriter::formatDouble(stored->get<double>());
        } catch (const JsonEncodingError&) {
            return std::nullopt;
        }
    }
    if (stored->is_number()) {
        return JsonWriter::write(*stored);
    }
    return std::nullopt;
}

int64_t SettingsStore::integer(std::string_view key) const {
    const auto stored = value(key);
    if (!stored) {
        return 0;
    }
    if (stored->is_boolean()) {
        return stored->get<bool>() ? 1 : 0;
    }
    if (stored->is_number_unsigned()) {
        const auto v = stored->get<uint64_t>();
        return v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                                              : static_cast<int64_t>(v);
    }
    if (stored->is_number_integer()) {
        return stored->get<int64_t>();
    }
    if (stored->is_number_float()) {
        return clampedInteger(std::trunc(stored->get<double>()));
    }
    if (stored->is_string()) {
        std::string_view text = skippingLeadingSpace(stored->get_ref<const std::string&>());
        if (!text.empty() && text.front() == '+') {
            text.remove_prefix(1);
        }
        int64_t result = 0;
        const auto parsed = std::from_chars(text.data(), text.data() + text.size(), result);
        if (parsed.ec == std::errc::result_out_of_range) {
            return text.starts_with('-') ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
        }
        return parsed.ec == std::errc() ? result : 0;
    }
    return 0;
}

bool SettingsStore::boolean(std::string_view key) const {
    const auto stored = value(key);
    if (!stored) {
        return false;
    }
    if (stored->is_boolean()) {
        return stored->get<bool>();
    }
    if (stored->is_number()) {
        return stored->get<double>() != 0;
    }
    if (stored->is_string()) {
        std::string_view text = skippingLeadingSpace(stored->get_ref<const std::string&>());
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            text.remove_prefix(1);
        }
        while (!text.empty() && text.front() == '0') {
            text.remove_prefix(1);
        }
        if (text.empty()) {
            return false;
        }
        const char c = text.front();
        return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
    }
    return false;
}

double SettingsStore::doubleValue(std::string_view key) const {
    const auto stored = value(key);
    if (!stored) {
        return 0;
    }
    if (stored->is_boolean()) {
        return stored->get<bool>() ? 1 : 0;
    }
    if (stored->is_number()) {
        return stored->get<double>();
    }
    if (stored->is_string()) {
        return leadingDouble(stored->get_ref<const std::string&>());
    }
    return 0;
}

std::optional<std::vector<std::string>> SettingsStore::stringArray(std::string_view key) const {
    const auto stored = value(key);
    if (!stored || !stored->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> result;
    for (const auto& element : *stored) {
        if (!element.is_string()) {
            return std::nullopt;
        }
        result.push_back(element.get<std::string>());
    }
    return result;
}

std::optional<std::string> SettingsStore::data(std::string_view key) const {
    const auto stored = value(key);
    return stored ? decodeData(*stored) : std::nullopt;
}

void SettingsStore::setData(std::string_view key, std::string_view bytes) {
    set(key, encodeData(bytes));
}

nlohmann::json SettingsStore::encodeData(std::string_view bytes) {
    return nlohmann::json::object({{dataTag, Base64::encode(bytes)}});
}

std::optional<std::string> SettingsStore::decodeData(const nlohmann::json& value) {
    if (!value.is_object() || value.size() != 1) {
        return std::nullopt;
    }
    const auto it = value.find(dataTag);
    if (it == value.end() || !it->is_string()) {
        return std::nullopt;
    }
    return Base64::decode(it->get_ref<const std::string&>());
}

std::optional<nlohmann::json> InMemorySettingsStore::value(std::string_view key) const {
    std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

void InMemorySettingsStore::set(std::string_view key, nlohmann::json value) {
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), std::move(value));
}

void InMemorySettingsStore::remove(std::string_view key) {
    std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it != values_.end()) {
        values_.erase(it);
    }
}

std::map<std::string, nlohmann::json, std::less<>> InMemorySettingsStore::allValues() const {
    std::lock_guard lock(mutex_);
    return values_;
}

}  // namespace nudgerly
