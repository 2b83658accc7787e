#include "platform/LocalCalendar.h"

#include <cmath>
#include <limits>
#include <map>

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>

#include "core/Text.h"

namespace nudgerly {

struct LocalCalendar::State {
    std::unique_ptr<icu::Calendar> calendar;
    std::map<std::string, std::unique_ptr<icu::SimpleDateFormat>> formatters;
};

LocalCalendar::LocalCalendar() : state_(std::make_unique<State>()) {
    UErrorCode status = U_ZERO_ERROR;
    state_->calendar.reset(icu::Calendar::createInstance(icu::Locale::getDefault(), status));
    if (U_FAILURE(status)) {
        state_->calendar.reset();
    }
}

LocalCalendar::~LocalCalendar() = default;

std::string LocalCalendar::format(Date date, const std::string& pattern) {
    auto& formatter = state_->formatters[pattern];
    if (!formatter) {
        UErrorCode status = U_ZERO_ERROR;
        formatter = std::make_unique<icu::SimpleDateFormat>(text::toUnicode(pattern), icu::Locale::getDefault(), status);
        if (U_FAILURE(status)) {
            formatter.reset();
            return "";
        }
    }
    const double milliseconds = date.unixSeconds() * 1000.0;
    if (!std::isfinite(milliseconds)) {
        return "";
    }
    icu::UnicodeString out;
    formatter->format(static_cast<UDate>(milliseconds), out);
    return text::toUtf8(out);
}

std::optional<Date> LocalCalendar::addingDays(Date date, int64_t days) {
    if (!state_->calendar || !std::isfinite(date.unixSeconds()) || days < std::numeric_limits<int32_t>::min() ||
        days > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    state_->calendar->setTime(static_cast<UDate>(date.unixSeconds() * 1000.0), status);
    state_->calendar->add(UCAL_DATE, static_cast<int32_t>(days), status);
    const UDate result = state_->calendar->getTime(status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return Date::fromUnix(result / 1000.0);
}

}  // namespace nudgerly
