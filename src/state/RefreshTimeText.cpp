#include "state/RefreshTimeText.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>

#include "core/Text.h"

namespace nudgerly::RefreshTimeText {
namespace {

// The calendar day of a date, comparable between two dates of the same calendar.
constexpr const char* dayPattern = "G y-MM-dd";

struct Patterns {
    std::string shortTime;
    std::string monthDayTime;
};

Patterns makePatterns(const icu::Locale& locale) {
    Patterns patterns{.shortTime = "h:mm a", .monthDayTime = "MMM d, h:mm a"};
    std::unique_ptr<icu::DateFormat> time(icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale));
    if (const auto* simple = dynamic_cast<const icu::SimpleDateFormat*>(time.get())) {
        icu::UnicodeString pattern;
        patterns.shortTime = text::toUtf8(simple->toPattern(pattern));
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_SUCCESS(status) && generator) {
        // Abbreviated month, day, the locale's hour (with its AM/PM marker where it uses one), minute.
        const icu::UnicodeString best = generator->getBestPattern(icu::UnicodeString("MMMdjmm"), status);
        if (U_SUCCESS(status)) {
            patterns.monthDayTime = text::toUtf8(best);
        }
    }
    return patterns;
}

// Making the patterns costs far more than formatting, so they are kept per locale.
Patterns patternsForCurrentLocale() {
    static std::mutex mutex;
    static std::map<std::string, Patterns> known;
    const icu::Locale locale = icu::Locale::getDefault();
    std::lock_guard lock(mutex);
    auto [entry, inserted] = known.try_emplace(locale.getName());
    if (inserted) {
        entry->second = makePatterns(locale);
    }
    return entry->second;
}

}  // namespace

std::string shortTime(Date date, LocalCalendar& calendar) {
    return calendar.format(date, patternsForCurrentLocale().shortTime);
}

std::string lastRefreshLabel(Date generatedAt, Date now, LocalCalendar& calendar) {
    const std::string day = calendar.format(generatedAt, dayPattern);
    if (!day.empty() && day == calendar.format(now, dayPattern)) {
        return "Today at " + shortTime(generatedAt, calendar);
    }
    if (const auto yesterday = calendar.addingDays(now, -1);
        yesterday && !day.empty() && day == calendar.format(*yesterday, dayPattern)) {
        return "Yesterday at " + shortTime(generatedAt, calendar);
    }
    return calendar.format(generatedAt, patternsForCurrentLocale().monthDayTime);
}

}  // namespace nudgerly::RefreshTimeText
