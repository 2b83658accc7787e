#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/formats/PropertyList.h"
#include "platform/formats/Url.h"

namespace nudgerly {
namespace {

TEST(UrlTests, TakesAddressesApart) {
    const auto url = Url::parse("HTTPS://Hub.Example:8443/a/b?download=true");
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->scheme(), "https");
    EXPECT_EQ(url->host(), "Hub.Example");
    EXPECT_EQ(url->string(), "HTTPS://Hub.Example:8443/a/b?download=true");
    EXPECT_TRUE(url->isSecure());

    const auto withUser = Url::parse("https://@example.com/");
    ASSERT_TRUE(withUser.has_value());
    EXPECT_EQ(withUser->user(), "");
    EXPECT_FALSE(withUser->isSecure());
    EXPECT_FALSE(isSecureAddress("ftp://example.com/"));

    // curl alone would read a host out of the first two.
    const std::vector<std::string_view> notUrls = {"https:/example.com", "https:///a", "example.com/a",
                                                   std::string_view("https://example.com\0.evil/", 25)};
    for (const std::string_view text : notUrls) {
        EXPECT_FALSE(Url::parse(text).has_value()) << text;
    }
}

TEST(UrlTests, ResolvesReferencesAgainstABase) {
    const auto base = Url::parse("https://example.com/a/b/c?x=1#f");
    ASSERT_TRUE(base.has_value());
    const auto resolved = [&](std::string_view reference) {
        const auto url = base->resolved(reference);
        return url ? url->string() : std::string("none");
    };
    EXPECT_EQ(resolved("d"), "https://example.com/a/b/d");
    EXPECT_EQ(resolved("../d?q#top"), "https://example.com/a/d?q#top");
    EXPECT_EQ(resolved("/root"), "https://example.com/root");
    EXPECT_EQ(resolved("//other.example/x"), "https://other.example/x");
    EXPECT_EQ(resolved("http://absolute.example/"), "http://absolute.example/");
    EXPECT_EQ(base->resolved("http://absolute.example/")->host(), "absolute.example");
    // What parse() refuses, resolution does not let through.
    EXPECT_EQ(resolved("mailto:someone@example.com"), "none");
    EXPECT_EQ(resolved(std::string_view("x\0y", 3)), "none");
}

TEST(UrlTests, KeepsPathAndQueryAsWrittenAndReplacesTheQuery) {
    const auto url = Url::parse("https://accounts.example.com/o/../oauth2/a%2Fb?x=1&x=2#frag");
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->path(), "/o/../oauth2/a%2Fb");
    EXPECT_EQ(url->query(), "x=1&x=2");
    EXPECT_EQ(Url::parse("http://127.0.0.1:5/cb?")->query(), std::nullopt);
    EXPECT_EQ(Url::parse("http://127.0.0.1:5")->path(), "/");

    const auto replaced = url->withQuery("client_id=a%2Bb&state=s");
    ASSERT_TRUE(replaced.has_value());
    EXPECT_EQ(replaced->string(), "https://accounts.example.com/o/../oauth2/a%2Fb?client_id=a%2Bb&state=s#frag");
    EXPECT_EQ(Url::parse("https://example.com/auth")->withQuery("")->string(), "https://example.com/auth");
    EXPECT_FALSE(url->withQuery(std::string_view("a=\0b", 4)).has_value());
    EXPECT_FALSE(url->withQuery("a=b#c").has_value());

    EXPECT_TRUE(isWebAddress("http://127.0.0.1:8080/token"));
    EXPECT_TRUE(isWebAddress("https://oauth2.example.com/token"));
    for (const auto* other : {"file:///etc/passwd", "javascript:alert(1)", "mailto:a@example.com", "https:///x", ""}) {
        EXPECT_FALSE(isWebAddress(other)) << other;
    }
}

TEST(PropertyListTests, DatesKeepWholeMicrosecondsExactly) {
    using namespace std::chrono;
    // libplist reads dates back with the microseconds cut off, which loses one for many values;
    // the written microsecond must come back, and its neighbours must stay apart.
    const auto start = PropertyList::Microseconds(seconds(1'760'000'000));
    for (int64_t step = 0; step < 20'000; ++step) {
        for (const auto time : {start + microseconds(step * 7'919),
                                PropertyList::Microseconds(seconds(900'000'000)) - microseconds(step * 104'729)}) {
            const PropertyList::Node root(plist_new_dict());
            plist_dict_set_item(root.get(), "d", PropertyList::makeDate(time).release());
            const PropertyList::Node parsed = PropertyList::parse(PropertyList::toBinary(root.get()));
            const plist_t node = plist_dict_get_item(parsed.get(), "d");
            ASSERT_EQ(PropertyList::dateValue(node), time);
            ASSERT_FALSE(plist_compare_node_value(node, PropertyList::makeDate(time + microseconds(1)).get()));
        }
    }
    EXPECT_EQ(PropertyList::makeDate(PropertyList::Microseconds(seconds(978'307'200LL + (1LL << 32)))), nullptr);
    EXPECT_EQ(PropertyList::parse("plain text"), nullptr);
}

}  // namespace
}  // namespace nudgerly
