#include "core/Date.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace nudgerly {

Date Date::now() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return fromUnix(std::chrono::duration<double>(sinceEpoch).count());
}

namespace Iso8601 {
namespace {

using namespace std::chrono;

constexpr double minimumUnix = -62135596800.0;  // 0001-01-01T00:00:00Z
constexpr double maximumUnix = 253402300799.0;  // 9999-12-31T23:59:59Z

bool readDigits(std::string_view text, size_t at, size_t count, int& value) {
    if (at + count > text.size()) {
        return false;
    }
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

std::optional<std::string> format(Date date) {
    const double unix = std::floor(date.unixSeconds());
    if (!std::isfinite(unix) || unix < minimumUnix || unix > maximumUnix) {
        return std::nullopt;
    }
    const auto seconds = sys_seconds{std::chrono::seconds{static_cast<long long>(unix)}};
    const auto day = floor<days>(seconds);
    const year_month_day ymd{day};
    const hh_mm_ss time{seconds - day};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return std::string(buffer);
}

std::optional<Date> parse(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS is 19 characters; then "Z" or "+HH:MM".
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (text.size() < 20 || !readDigits(text, 0, 4, y) || text[4] != '-' || !readDigits(text, 5, 2, mo) ||
        text[7] != '-' || !readDigits(text, 8, 2, d) || text[10] != 'T' || !readDigits(text, 11, 2, h) ||
        text[13] != ':' || !readDigits(text, 14, 2, mi) || text[16] != ':' || !readDigits(text, 17, 2, s)) {
        return std::nullopt;
    }
    int offsetSeconds = 0;
    const std::string_view zone = text.substr(19);
    if (zone == "Z") {
        offsetSeconds = 0;
    } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
        int oh = 0, om = 0;
        if (!readDigits(zone, 1, 2, oh) || !readDigits(zone, 4, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offsetSeconds = (oh * 3600 + om * 60) * (zone[0] == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    const year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    if (y < 1 || !ymd.ok() || h > 23 || mi > 59 || s > 59) {
        return std::nullopt;
    }
    const auto local = sys_days{ymd} + hours{h} + minutes{mi} + seconds{s};
    const double unix = static_cast<double>(local.time_since_epoch().count()) - offsetSeconds;
    return Date::fromUnix(unix);
}

}  // namespace Iso8601
}  // namespace nudgerly
