#pragma once

#include <compare>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace nudgerly {

// A point in time as seconds since 2001-01-01 00:00:00 UTC, kept as a double like the stored formats
// expect. Sub-second precision is kept in memory.
struct Date {
    double secondsSinceReferenceDate = 0;

    // Seconds between 1970-01-01 and 2001-01-01.
    static constexpr double unixOffset = 978307200.0;

    static Date now();
    static constexpr Date fromUnix(double unixSeconds) { return Date{unixSeconds - unixOffset}; }
    constexpr double unixSeconds() const { return secondsSinceReferenceDate + unixOffset; }

    constexpr Date addingSeconds(double seconds) const { return Date{secondsSinceReferenceDate + seconds}; }
    // Seconds from other to this date (negative when this date is earlier).
    constexpr double secondsSince(Date other) const {
        return secondsSinceReferenceDate - other.secondsSinceReferenceDate;
    }

    friend constexpr bool operator==(const Date&, const Date&) = default;
    friend constexpr auto operator<=>(const Date&, const Date&) = default;
};

namespace Iso8601 {

// "2026-03-01T09:30:00Z": UTC, whole seconds (the fraction is dropped, rounding toward the past).
// Absent for non-finite dates and years outside 0001...9999.
std::optional<std::string> format(Date date);

// Reads the internet date-time form with whole seconds: "YYYY-MM-DDTHH:MM:SS" followed by "Z" or an
// offset "+HH:MM" / "-HH:MM". Anything else (a fraction of a second, missing parts, out-of-range
// fields) is absent.
std::optional<Date> parse(std::string_view text);

}  // namespace Iso8601

}  // namespace nudgerly

template <>
struct std::hash<nudgerly::Date> {
    std::size_t operator()(const nudgerly::Date& date) const noexcept {
        const double seconds = date.secondsSinceReferenceDate;
        return std::hash<double>{}(seconds == 0 ? 0.0 : seconds);  // 0 and -0 are equal dates
    }
};
