#include <string>

#include <gtest/gtest.h>

#include "platform/formats/PercentEncoding.h"

namespace nudgerly {
namespace {

TEST(PercentEncodingTests, OnlyUnreservedCharactersStay) {
    EXPECT_EQ(PercentEncoding::encoded("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(PercentEncoding::encoded("a b+c&d=e/f?g#h%i:j"), "a%20b%2Bc%26d%3De%2Ff%3Fg%23h%25i%3Aj");
    EXPECT_EQ(PercentEncoding::encoded("caf\u00E9\n"), "caf%C3%A9%0A");
    EXPECT_EQ(PercentEncoding::encoded(std::string("a\0b", 3)), "a%00b");

    EXPECT_EQ(PercentEncoding::formEncoded({{"grant_type", "authorization_code"}, {"code", "4/0A+b=="}, {"", ""}}),
              "grant_type=authorization_code&code=4%2F0A%2Bb%3D%3D&=");
    EXPECT_EQ(PercentEncoding::formEncoded({}), "");
}

TEST(PercentEncodingTests, APathSegmentCannotLeaveItsPlace) {
    EXPECT_EQ(PercentEncoding::pathSegment("18c2f0a"), "18c2f0a");
    EXPECT_EQ(PercentEncoding::pathSegment("a/b?c#d"), "a%2Fb%3Fc%23d");
    EXPECT_EQ(PercentEncoding::pathSegment(".."), "%2E%2E");
    EXPECT_EQ(PercentEncoding::pathSegment("."), "%2E");
    EXPECT_EQ(PercentEncoding::pathSegment("..."), "...");
}

TEST(PercentEncodingTests, DecodingReversesEncoding) {
    for (const std::string text : {"", "plain", "a b+c&d=e/f?g#h%i", "caf\u00E9 \U0001F600"}) {
        EXPECT_EQ(PercentEncoding::decoded(PercentEncoding::encoded(text)), text);
    }
    EXPECT_EQ(PercentEncoding::decoded("%2f%2F%zz%4"), "//%zz%4");
    EXPECT_EQ(PercentEncoding::decoded("a+b"), "a+b");
}

}  // namespace
}  // namespace nudgerly
