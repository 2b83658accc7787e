#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include "core/Text.h"
#include "files/TempDir.h"
#include "platform/system/LocalCalendar.h"
#include "platform/system/SystemTimeZone.h"

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

std::string defaultZone() {
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
    icu::UnicodeString id;
    zone->getID(id);
    return text::toUtf8(id);
}

// The zone is the process's: each test that moves it puts the pinned one back.
class ZoneChangeTest : public ::testing::Test {
protected:
    void TearDown() override {
        setenv("TZ", "America/Los_Angeles", 1);
        SystemTimeZone::followChanges();
        EXPECT_EQ(defaultZone(), "America/Los_Angeles");
    }
};

TEST_F(ZoneChangeTest, ACalendarNoticesAChangedTimeZone) {
    LocalCalendar calendar;
    const Date noon = *Iso8601::parse("2026-03-10T19:00:00Z");
    setenv("TZ", "Europe/Berlin", 1);
    EXPECT_FALSE(calendar.isCurrent());
    EXPECT_EQ(LocalCalendar().format(noon, "MMM d \u00B7 h:mm a"), "Mar 10 \u00B7 8:00 PM");
    setenv("TZ", "America/Los_Angeles", 1);
    EXPECT_TRUE(calendar.isCurrent());
    EXPECT_EQ(calendar.format(noon, "h:mm a"), "12:00 PM");
}

TEST_F(ZoneChangeTest, WithoutTZTheSystemZoneFileIsFollowed) {
    test::TempDir dir;
    const auto zoneFile = dir / "localtime";
    unsetenv("TZ");
    // The system's settings replace the link; the zone is named by the link's target.
    std::filesystem::create_symlink("/usr/share/zoneinfo/Asia/Tokyo", zoneFile);
    SystemTimeZone::followChanges(zoneFile);
    EXPECT_EQ(defaultZone(), "Asia/Tokyo");
    std::filesystem::remove(zoneFile);
    std::filesystem::create_symlink("../usr/share/zoneinfo/posix/Europe/Lisbon", zoneFile);
    SystemTimeZone::followChanges(zoneFile);
    EXPECT_EQ(defaultZone(), "Europe/Lisbon");
    SystemTimeZone::followChanges(zoneFile);  // nothing changed: nothing to do
    EXPECT_EQ(defaultZone(), "Europe/Lisbon");
}

}  // namespace
}  // namespace nudgerly
