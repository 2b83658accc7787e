#include "platform/system/LocalCalendar.h"

#include <cmath>
#include <limits>
#include <map>

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include "core/Text.h"
#include "platform/system/SystemTimeZone.h"

namespace nudgerly {

namespace {

// Enough for the items of several large refreshes; beyond it the memory starts over.
constexpr std::size_t maximumRemembered = 100'000;

// The default locale and time zone, as one text.
std::string currentIdentity() {
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
    icu::UnicodeString zoneID;
    if (zone) {
        zone->getID(zoneID);
    }
    return std::string(icu::Locale::getDefault().getName()) + "|" + text::toUtf8(zoneID);
}

}  // namespace

struct LocalCalendar::State {
    std::string identity = currentIdentity();
    std::unique_ptr<icu::Calendar> calendar;
    std::map<std::string, std::unique_ptr<icu::SimpleDateFormat>> formatters;
    std::map<std::pair<std::string, double>, std::string> formatted;
};

bool LocalCalendar::isCurrent() const {
    SystemTimeZone::followChanges();
    return state_->identity == currentIdentity();
}

LocalCalendar::LocalCalendar() {
    SystemTimeZone::followChanges();
    state_ = std::make_unique<State>();
    UErrorCode status = U_ZERO_ERROR;
    state_->calendar.reset(icu::Calendar::createInstance(icu::Locale::getDefault(), status));
    if (U_FAILURE(status)) {
        state_->calendar.reset();
    }
}

LocalCalendar::~LocalCalendar() = default;

std::string LocalCalendar::format(Date date, const std::string& pattern) {
    const double milliseconds = date.unixSeconds() * 1000.0;
    if (!std::isfinite(milliseconds)) {
        return "";
    }
    // Keyed by the exact date: any two instants of the same text would do, but that needs the zone.
    const auto key = std::make_pair(pattern, date.secondsSinceReferenceDate);
    if (const auto found = state_->formatted.find(key); found != state_->formatted.end()) {
        return found->second;
    }
    if (state_->formatted.size() >= maximumRemembered) {
        state_->formatted.clear();
    }
    auto& formatter = state_->formatters[pattern];
    if (!formatter) {
        UErrorCode status = U_ZERO_ERROR;
        formatter =
            std::make_unique<icu::SimpleDateFormat>(text::toUnicode(pattern), icu::Locale::getDefault(), status);
        if (U_FAILURE(status)) {
            formatter.reset();
            return "";
        }
    }
    icu::UnicodeString out;
    formatter->format(static_cast<UDate>(milliseconds), out);
    return state_->formatted[key] = text::toUtf8(out);
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
