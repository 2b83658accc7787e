#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace nudgerly {

// The user defaults: small persisted settings keyed by name. Values are JSON; binary data is kept as
// {"$data": "<base64>"}. The typed readers coerce the way the settings were always read: a number
// read as a string gives its decimal text, a string read as a number is parsed, and a missing or
// unusable value gives the type's empty value. Safe to use from any thread.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The raw stored value, or absent.
    virtual std::optional<nlohmann::json> value(std::string_view key) const = 0;
    virtual void set(std::string_view key, nlohmann::json value) = 0;
    virtual void remove(std::string_view key) = 0;

    // A plain sentence for the user when the values stored earlier could not be taken up as the store
    // was made (damaged, unreadable): what they held is then unknown, not absent. Absent when they were
    // read, or none were stored.
    virtual std::optional<std::string> loadProblem() const { return std::nullopt; }

    // A string, or a number's text; absent otherwise.
    std::optional<std::string> string(std::string_view key) const;
    // A number truncated toward zero, true as 1, or a string's leading integer; 0 otherwise.
    int64_t integer(std::string_view key) const;
    // A non-zero number, true, or a string starting with Y, y, T, t or a non-zero digit; false otherwise.
    bool boolean(std::string_view key) const;
    // A number, true as 1, or a string's leading decimal number; 0 otherwise.
    double doubleValue(std::string_view key) const;
    // An array holding only strings; absent otherwise.
    std::optional<std::vector<std::string>> stringArray(std::string_view key) const;
    // Binary data; absent otherwise.
    std::optional<std::string> data(std::string_view key) const;

    void setString(std::string_view key, std::string_view value) { set(key, std::string(value)); }
    void setInteger(std::string_view key, int64_t value) { set(key, value); }
    void setBool(std::string_view key, bool value) { set(key, value); }
    void setDouble(std::string_view key, double value) { set(key, value); }
    void setStringArray(std::string_view key, const std::vector<std::string>& value) { set(key, value); }
    void setData(std::string_view key, std::string_view bytes);

    // The JSON form of binary data, and back (absent when `value` is not such a form).
    static nlohmann::json encodeData(std::string_view bytes);
    static std::optional<std::string> decodeData(const nlohmann::json& value);
};

// Settings held in memory only, for tests and for runs that must not touch the user's files.
class InMemorySettingsStore : public SettingsStore {
public:
    InMemorySettingsStore() = default;
    explicit InMemorySettingsStore(std::map<std::string, nlohmann::json, std::less<>> values)
        : values_(std::move(values)) {}

    std::optional<nlohmann::json> value(std::string_view key) const override;
    void set(std::string_view key, nlohmann::json value) override;
    void remove(std::string_view key) override;

    // A copy of every stored value, taken at one moment.
    std::map<std::string, nlohmann::json, std::less<>> allValues() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, nlohmann::json, std::less<>> values_;
};

}  // namespace nudgerly
