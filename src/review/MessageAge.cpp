#include "review/MessageAge.h"

#include <cmath>
#include <cstdint>

namespace nudgerly::MessageAge {
namespace {

// Far beyond any real age; keeps the conversion to an integer defined for absurd inputs.
constexpr double maximumDays = 1e15;

std::string counted(int64_t count, const char* one, const char* many) {
    return count == 1 ? std::string("1 ") + one : std::to_string(count) + " " + many;
}

}  // namespace

std::string label(Date since, Date now) {
    const double days = std::trunc(now.secondsSince(since) / 86400);
    if (std::isnan(days) || days < 1) {
        return "Today";
    }
    const auto d = static_cast<int64_t>(std::fmin(days, maximumDays));
    if (d < 7) {
        return counted(d, "day", "days");
    }
    if (d < 30) {
        return counted(d / 7, "week", "weeks");
    }
    if (d < 365) {
        return counted(d / 30, "month", "months");
    }
    return counted(d / 365, "year", "years");
}

}  // namespace nudgerly::MessageAge
