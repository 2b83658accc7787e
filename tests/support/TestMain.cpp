#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>
#include <unicode/locid.h>

// Tests that touch dates or formatting pin the time zone and the ICU locale so they read the same on
// every machine.
int main(int argc, char** argv) {
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
