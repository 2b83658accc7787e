#include <cmath>

#include <gtest/gtest.h>

#include "core/Date.h"

namespace nudgerly {
namespace {

TEST(DateTests, ConvertsBetweenReferenceAndUnixTime) {
    EXPECT_EQ(Date::fromUnix(978307200).secondsSinceReferenceDate, 0);
    EXPECT_EQ(Date{-978307200}.unixSeconds(), 0);
    EXPECT_DOUBLE_EQ(Date{1.5}.addingSeconds(2).secondsSince(Date{1}), 2.5);
}

TEST(DateTests, WritesIso8601InUtcWithWholeSeconds) {
    // 2026-03-01T09:30:00Z is 1772357400 in Unix time.
    EXPECT_EQ(Iso8601::format(Date::fromUnix(1772357400.75)), "2026-03-01T09:30:00Z");
    EXPECT_EQ(Iso8601::format(Date{0}), "2001-01-01T00:00:00Z");
    // Fractions round toward the past, also before 1970.
    EXPECT_EQ(Iso8601::format(Date::fromUnix(-0.5)), "1969-12-31T23:59:59Z");
    EXPECT_EQ(Iso8601::format(Date{NAN}), std::nullopt);
    EXPECT_EQ(Iso8601::format(Date{1e300}), std::nullopt);
}

TEST(DateTests, ReadsOnlyWholeSecondInternetDateTimes) {
    EXPECT_EQ(Iso8601::parse("2026-03-01T09:30:00Z"), Date::fromUnix(1772357400));
    EXPECT_EQ(Iso8601::parse("2026-03-01T10:30:00+01:00"), Date::fromUnix(1772357400));
    EXPECT_EQ(Iso8601::parse("2026-03-01T04:00:00-05:30"), Date::fromUnix(1772357400));
    for (const char* bad : {"2026-03-01T09:30:00.5Z", "2026-03-01T09:30:00", "2026-03-01 09:30:00Z",
                            "2026-02-30T09:30:00Z", "2026-03-01T24:00:00Z", "2026-3-01T09:30:00Z", "1772357400", "",
                            "2026-03-01T09:30:00Zjunk", "2026-03-01T09:30:00+0100"}) {
        EXPECT_EQ(Iso8601::parse(bad), std::nullopt) << bad;
    }
}

TEST(DateTests, RoundTripsThroughText) {
    for (double unix : {0.0, 1772357400.0, -86400.0 * 365, 253402300799.0}) {
        const auto text = Iso8601::format(Date::fromUnix(unix));
        ASSERT_TRUE(text);
        EXPECT_EQ(Iso8601::parse(*text), Date::fromUnix(unix)) << *text;
    }
}

}  // namespace
}  // namespace nudgerly
