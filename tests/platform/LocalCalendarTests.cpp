#include <cmath>

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "platform/LocalCalendar.h"

namespace nudgerly {
namespace {

// The test programs run in America/Los_Angeles with the en_US locale.
TEST(LocalCalendarTests, FormatsInTheUsersZoneAndAddsCalendarDays) {
    LocalCalendar calendar;
    const Date noon = *Iso8601::parse("2026-03-10T19:00:00Z");
    EXPECT_EQ(calendar.format(noon, "MMM d \u00B7 h:mm a"), "Mar 10 \u00B7 12:00 PM");
    EXPECT_EQ(calendar.format(noon, "MMM d \u00B7 h:mm a"), "Mar 10 \u00B7 12:00 PM");  // remembered
    EXPECT_EQ(calendar.format(Date{NAN}, "MMM d"), "");
    // A week back crosses the start of daylight-saving time: same wall-clock time, one hour less.
    EXPECT_EQ(calendar.addingDays(noon, -7), *Iso8601::parse("2026-03-03T20:00:00Z"));
    EXPECT_EQ(calendar.addingDays(Date{INFINITY}, 1), std::nullopt);
}

TEST(LocalCalendarTests, NoticesAChangedLocale) {
    LocalCalendar calendar;
    EXPECT_TRUE(calendar.isCurrent());
    const icu::Locale previous = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("de_DE"), status);
    EXPECT_FALSE(calendar.isCurrent());
    EXPECT_EQ(LocalCalendar().format(*Iso8601::parse("2026-03-10T19:00:00Z"), "MMM"), "M\u00E4rz");
    icu::Locale::setDefault(previous, status);
    EXPECT_TRUE(calendar.isCurrent());
}

}  // namespace
}  // namespace nudgerly
