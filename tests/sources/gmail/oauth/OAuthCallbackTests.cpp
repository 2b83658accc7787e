#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "sources/gmail/oauth/OAuthCallback.h"
#include "sources/gmail/oauth/OAuthCallbackRequest.h"

namespace nudgerly {
namespace {

using Items = std::vector<std::pair<std::string, std::string>>;
using Kind = OAuthCallback::Verdict::Kind;

Url callback(const std::string& query) {
    return *Url::parse("http://127.0.0.1/oauth/callback" + (query.empty() ? "" : "?" + query));
}

TEST(OAuthCallbackTests, ReadsQueryItemsStrictly) {
    EXPECT_EQ(OAuthCallback::queryItems("code=4%2F0A+b%26c&state=s"), (Items{{"code", "4/0A+b&c"}, {"state", "s"}}));
    EXPECT_EQ(OAuthCallback::queryItems("a=b=c&flag&empty=&=v&&x=%zz"),
              (Items{{"a", "b=c"}, {"empty", ""}, {"", "v"}, {"x", "%zz"}}));
    EXPECT_EQ(OAuthCallback::queryItems(""), Items{});
    EXPECT_TRUE(OAuthCallback::queryDictionary(callback("")).empty());
    EXPECT_EQ(OAuthCallback::queryDictionary(callback("scope=a&scope=b")).at("scope"), "a");
}

TEST(OAuthCallbackTests, JudgesTheCallback) {
    EXPECT_EQ(OAuthCallback::judge(callback("code=c&state=s"), "s"), (OAuthCallback::Verdict{Kind::grant, "c"}));
    EXPECT_EQ(OAuthCallback::judge(callback("state=s&code=c&error=x"), "s"),
              (OAuthCallback::Verdict{Kind::grant, "c"}));
    // An error rejects whatever the state says.
    EXPECT_EQ(OAuthCallback::judge(callback("error=access_denied&state=other"), "s"),
              (OAuthCallback::Verdict{Kind::rejected, "access_denied"}));
    EXPECT_EQ(OAuthCallback::judge(callback("error=access_denied"), "s").kind, Kind::rejected);
    EXPECT_EQ(OAuthCallback::judge(callback("code=c&state=other"), "s").kind, Kind::invalid);
    EXPECT_EQ(OAuthCallback::judge(callback("state=s"), "s").kind, Kind::invalid);
    EXPECT_EQ(OAuthCallback::judge(callback("code=c&state=S"), "s").kind, Kind::invalid);
    EXPECT_EQ(OAuthCallback::judge(callback(""), "s").kind, Kind::invalid);
    // A repeated answer item cannot be believed either way.
    for (const auto* query : {"code=c&state=s&state=s", "code=c&code=d&state=s", "code=c&state=s&error=a&error=b",
                              "state=other&state=s&code=c"}) {
        EXPECT_EQ(OAuthCallback::judge(callback(query), "s").kind, Kind::invalid) << query;
    }
    EXPECT_TRUE(OAuthCallback::completesSignIn(callback("code=c&state=s"), "s"));
    EXPECT_FALSE(OAuthCallback::completesSignIn(callback("code=c&state=s&error=x"), "s"));
    EXPECT_FALSE(OAuthCallback::completesSignIn(callback("error=x&state=s"), "s"));
}

TEST(OAuthCallbackRequestTests, FindsTheRequestLineAfterAnyLineBreak) {
    for (const std::string lineBreak : {"\n", "\r", "\r\n", "\v", "\f", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"}) {
        const auto address = OAuthCallbackRequest::callbackAddress(
            lineBreak + lineBreak + "GET /oauth/callback?code=a HTTP/1.1" + lineBreak + "Host: x" + lineBreak);
        ASSERT_TRUE(address.has_value());
        EXPECT_EQ(address->query(), "code=a");
        EXPECT_FALSE(OAuthCallbackRequest::hasRequestLine(lineBreak + lineBreak + "GET /oauth/callback HTTP/1.1"));
        EXPECT_TRUE(OAuthCallbackRequest::hasRequestLine(lineBreak + lineBreak + "GET /x HTTP/1.1" + lineBreak));
    }
    EXPECT_FALSE(OAuthCallbackRequest::hasRequestLine("GET /x HTTP/1.1\xE2\x80"));  // a break not yet whole
    EXPECT_FALSE(OAuthCallbackRequest::callbackAddress("GET /oauth/callback\x85 HTTP/1.1\r\n"));  // not UTF-8
    EXPECT_FALSE(OAuthCallbackRequest::callbackAddress("GET http://evil/oauth/callback HTTP/1.1\r\n"));
    EXPECT_FALSE(OAuthCallbackRequest::callbackAddress("GET /OAUTH/callback HTTP/1.1\r\n"));
    EXPECT_TRUE(OAuthCallbackRequest::hasCompleteHead("GET / HTTP/1.1\n\nbody"));
    EXPECT_TRUE(OAuthCallbackRequest::hasCompleteHead("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_FALSE(OAuthCallbackRequest::hasCompleteHead("GET / HTTP/1.1\r\n\r"));
}

}  // namespace
}  // namespace nudgerly
