#include <limits>

#include <gtest/gtest.h>

#include "platform/net/DownloadResponseHeaders.h"

namespace nudgerly {
namespace {

using namespace DownloadResponseHeaders;
constexpr int64_t largest = std::numeric_limits<int64_t>::max();

TEST(DownloadResponseHeadersTests, CountsAreBareDecimalDigitsWithinRange) {
    EXPECT_EQ(byteCount("0"), 0);
    EXPECT_EQ(byteCount("9223372036854775807"), largest);
    for (const char* text : {"", "-1", "+1", " 1", "1 ", "12a", "0x10", "9223372036854775808"}) {
        EXPECT_EQ(byteCount(text), std::nullopt) << text;
    }
}

TEST(DownloadResponseHeadersTests, ReadsARangeAndWhatTheWholeFileComesTo) {
    EXPECT_EQ(contentRange("bytes 100-199/200"), (ContentRange{100, 200}));
    EXPECT_EQ(contentRange("bytes 100-199/*"), (ContentRange{100, std::nullopt}));
    EXPECT_EQ(contentRange("bytes 100-199/many"), (ContentRange{100, std::nullopt}));
    for (const char* text : {"", "bytes", "items 0-1/2", "bytes 100/200-300", "bytes -5-9/10", "bytes 1-2"}) {
        EXPECT_EQ(contentRange(text), std::nullopt) << text;
    }

    EXPECT_EQ(expectedBytes({100, 200}, 50), 200);  // the stated total wins
    EXPECT_EQ(expectedBytes({100, std::nullopt}, 50), 150);
    EXPECT_EQ(expectedBytes({100, std::nullopt}, std::nullopt), -1);
    EXPECT_EQ(expectedBytes({100, std::nullopt}, largest - 100), largest);
    EXPECT_EQ(expectedBytes({100, std::nullopt}, largest - 99), -1);  // would overflow
}

TEST(DownloadResponseHeadersTests, TheValidatorIsAStrongTagElseTheModificationDate) {
    const auto answer = [](std::vector<std::pair<std::string, std::string>> headers) {
        return HttpResponse{.status = 200, .headers = std::move(headers)};
    };
    const std::string date = "Wed, 21 Oct 2015 07:28:00 GMT";
    EXPECT_EQ(validator(answer({{"etag", "\"v1\""}, {"Last-Modified", date}})), "\"v1\"");
    EXPECT_EQ(validator(answer({{"ETag", "W/\"v1\""}, {"Last-Modified", date}})), date);
    EXPECT_EQ(validator(answer({{"ETag", ""}, {"Last-Modified", date}})), date);
    EXPECT_EQ(validator(answer({{"ETag", "W/\"v1\""}})), "");
}

TEST(DownloadResponseHeadersTests, ResolvesLocationsAgainstTheAddressThatAnswered) {
    const std::string base = "https://models.example/a/b/model.gguf?x=1";
    EXPECT_EQ(resolveLocation(base, "other.gguf"), "https://models.example/a/b/other.gguf");
    EXPECT_EQ(resolveLocation(base, "/c/model.gguf"), "https://models.example/c/model.gguf");
    EXPECT_EQ(resolveLocation(base, "//cdn.example/m.gguf"), "https://cdn.example/m.gguf");
    EXPECT_EQ(resolveLocation(base, "http://plain.example/m.gguf"), "http://plain.example/m.gguf");
    EXPECT_EQ(resolveLocation("not an address", "/c"), std::nullopt);
}

}  // namespace
}  // namespace nudgerly
