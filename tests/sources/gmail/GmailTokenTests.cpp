#include <chrono>
#include <future>

#include "sources/gmail/GmailServiceFixture.h"
#include "sources/gmail/oauth/OAuthTokenExchange.h"
#include "sources/gmail/oauth/OAuthTokens.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using test::FakeTokenAnswer;
using Kind = GmailError::Kind;

class GmailTokenTests : public test::GmailServiceFixture {};

TEST(OAuthTokensTests, CodesTheStoredFormAndRenewsByTheMergeRules) {
    const OAuthTokens held{.accessToken = "old",
                           .refreshToken = "refresh",
                           .expiresIn = 3599,
                           .expiresAt = Date{800'000'000.5},
                           .scope = "scope-a",
                           .tokenType = "Bearer",
                           .email = "me@example.com"};
    const auto json = nlohmann::json::parse(held.encoded());
    EXPECT_EQ(json.at("expires_at").get<double>(), 800'000'000.5);
    EXPECT_EQ(json.size(), 7u);
    EXPECT_EQ(OAuthTokens::decoded(held.encoded()), held);
    EXPECT_EQ(nlohmann::json::parse(OAuthTokens{.accessToken = "a"}.encoded()),
              (nlohmann::json{{"access_token", "a"}}));
    EXPECT_FALSE(OAuthTokens::decoded("{not json"));
    EXPECT_FALSE(OAuthTokens::decoded(R"({"refresh_token":"r"})"));
    EXPECT_FALSE(OAuthTokens::decoded(R"({"access_token":"a","expires_in":"3600"})"));

    const OAuthTokens answer{.accessToken = "new", .refreshToken = "rotated", .expiresIn = 100, .expiresAt = Date{900}};
    EXPECT_EQ(held.renewedWith(answer), (OAuthTokens{.accessToken = "new",
                                                     .refreshToken = "refresh",
                                                     .expiresIn = 3599,
                                                     .expiresAt = Date{900},
                                                     .scope = "scope-a",
                                                     .tokenType = "Bearer",
                                                     .email = "me@example.com"}));
    EXPECT_EQ(held.renewedWith(OAuthTokens{.accessToken = "new", .scope = "scope-b"}).scope, "scope-b");
}

TEST(OAuthTokensTests, TheTokenAnswerSetsTheExpiry) {
    const Date now{700'000'000};
    EXPECT_EQ(OAuthTokenExchange::tokensFromAnswer(200, R"({"access_token":"a"})", now).expiresAt,
              now.addingSeconds(3600));
    EXPECT_EQ(OAuthTokenExchange::tokensFromAnswer(200, R"({"access_token":"a","expires_in":3599,"expires_at":5})", now)
                  .expiresAt,
              now.addingSeconds(3599));
    EXPECT_THROW(OAuthTokenExchange::tokensFromAnswer(200, R"({"token_type":"Bearer"})", now), JsonDecodingError);
    EXPECT_THROW(OAuthTokenExchange::tokensFromAnswer(200, "", now), JsonDecodingError);
}

TEST(OAuthTokensTests, TheFormBodyEscapesEverythingAFormReaderWouldChange) {
    EXPECT_EQ(
        OAuthTokenExchange::formBody({{"code", "4/a+b&c=d e"}, {"redirect_uri", "http://127.0.0.1:5/x"}, {"n", "é~"}}),
        "code=4%2Fa%2Bb%26c%3Dd%20e&redirect_uri=http%3A%2F%2F127.0.0.1%3A5%2Fx&n=%C3%A9~");
    EXPECT_EQ(OAuthTokenExchange::formBody({}), "");
}

TEST_F(GmailTokenTests, StoredTokensAreReadOnceAndOnlyWhenAsked) {
    storeTokens("stored-access", "refresh", 3600);
    auto& gmailService = makeService();
    EXPECT_EQ(gmailService.status(), (GmailConnectionStatus{.configured = true}));
    EXPECT_EQ(gmailService.loadStoredStatus(),
              (GmailConnectionStatus{.configured = true, .connected = true, .email = "me@example.com"}));

    // Read once: a later change of the store is not seen.
    secrets.remove(GmailService::tokensAccount);
    EXPECT_TRUE(gmailService.loadStoredStatus().connected);
    EXPECT_EQ(gmailService.accessToken({}), "stored-access");
}

TEST_F(GmailTokenTests, AStoredValueThatDoesNotDecodeMeansNotConnectedAndIsKept) {
    secrets.save("{\"access_token\":", GmailService::tokensAccount);
    auto& gmailService = makeService();
    EXPECT_FALSE(gmailService.loadStoredStatus().connected);
    EXPECT_EQ(gmailError([&] { gmailService.accessToken({}); }).what(),
              std::string("Connect Gmail before refreshing."));
    EXPECT_EQ(secrets.load(GmailService::tokensAccount), "{\"access_token\":");
}

TEST_F(GmailTokenTests, RenewsOnlyWithinTheMarginAndMergesTheAnswer) {
    storeTokens("still-good", "refresh-1", 61);
    auto& gmailService = makeService();
    EXPECT_EQ(gmailService.accessToken({}), "still-good");
    EXPECT_TRUE(provider.requests().empty());

    main.advance(1s);  // now 60 s are left
    provider.script({FakeTokenAnswer::tokens("renewed", "rotated-refresh", 3599, std::nullopt)});
    EXPECT_EQ(gmailService.accessToken({}), "renewed");
    const auto form = provider.forms().at(0);
    EXPECT_EQ(form, (std::map<std::string, std::string>{{"client_id", "test-client.apps.example.com"},
                                                        {"refresh_token", "refresh-1"},
                                                        {"grant_type", "refresh_token"},
                                                        {"client_secret", "test-secret"}}));

    const auto stored = storedTokens();
    EXPECT_EQ(stored->at("access_token"), "renewed");
    EXPECT_EQ(stored->at("refresh_token"), "refresh-1");  // a rotated refresh token is not taken
    EXPECT_EQ(stored->at("scope"), "https://www.googleapis.com/auth/gmail.readonly");
    EXPECT_EQ(stored->at("email"), "me@example.com");
    EXPECT_EQ(stored->at("expires_at").get<double>(), main.now().addingSeconds(3599).secondsSinceReferenceDate);
    EXPECT_EQ(gmailService.accessToken({}), "renewed");
    EXPECT_EQ(provider.requests().size(), 1u);
}

TEST_F(GmailTokenTests, AClientWithoutSecretSendsNoneInEitherGrant) {
    test::FakeOAuthProvider::writeClientFile(root / "data", provider.client(""));
    provider.script(
        {FakeTokenAnswer::tokens("access-1", "refresh-1", 10), FakeTokenAnswer::tokens("access-2", std::nullopt)});
    auto& gmailService = makeService();
    gmailService.connect({});
    EXPECT_EQ(gmailService.accessToken({}), "access-2");
    ASSERT_EQ(provider.forms().size(), 2u);
    EXPECT_FALSE(provider.forms()[0].contains("client_secret"));
    EXPECT_FALSE(provider.forms()[1].contains("client_secret"));
}

TEST_F(GmailTokenTests, WithoutARefreshTokenAnExpiringConnectionNeedsANewSignIn) {
    provider.script({FakeTokenAnswer::tokens("access-1", std::nullopt, 3599)});
    auto& gmailService = makeService();
    EXPECT_TRUE(gmailService.connect({}).connected);
    EXPECT_EQ(gmailService.accessToken({}), "access-1");
    main.advance(3540s);
    EXPECT_EQ(gmailError([&] { gmailService.accessToken({}); }).kind(), Kind::notConnected);
    EXPECT_TRUE(gmailService.status().connected);  // held until the user disconnects
}

TEST_F(GmailTokenTests, AFailedRenewalKeepsTheHeldTokens) {
    storeTokens("expired", "refresh-1", -10);
    provider.script(
        {{.status = 400,
          .body = R"({"error":"invalid_grant","error_description":"Token has been expired or revoked."})"}});
    auto& gmailService = makeService();
    EXPECT_EQ(gmailError([&] { gmailService.accessToken({}); }).what(),
              std::string("Token has been expired or revoked."));
    EXPECT_TRUE(gmailService.status().connected);
    EXPECT_EQ(storedTokens()->at("access_token"), "expired");

    // Without a client the tokens still count as connected, but cannot be renewed.
    std::filesystem::remove(root / "data" / "google-oauth-client.json");
    gmailService.reloadClientConfiguration();
    EXPECT_EQ(gmailService.status(), (GmailConnectionStatus{.connected = true, .email = "me@example.com"}));
    EXPECT_EQ(gmailError([&] { gmailService.accessToken({}); }).kind(), Kind::notConnected);
}

TEST_F(GmailTokenTests, DisconnectingForgetsTheTokensAndKeepsTheClient) {
    storeTokens("access", "refresh", 3600);
    auto& gmailService = makeService();
    gmailService.disconnect();
    EXPECT_EQ(gmailService.status(), (GmailConnectionStatus{.configured = true}));
    EXPECT_FALSE(storedTokens());
    // Nothing is read back after a disconnection.
    storeTokens("access", "refresh", 3600);
    EXPECT_FALSE(gmailService.loadStoredStatus().connected);
}

TEST_F(GmailTokenTests, ARenewalFinishingAfterADisconnectionDoesNotBringTheAccountBack) {
    storeTokens("expired", "refresh-1", 0);
    provider.script({{.status = 200, .body = FakeTokenAnswer::tokens("renewed", std::nullopt).body, .held = true}});
    auto& gmailService = makeService();
    auto renewal = std::async(std::launch::async, [&] { return gmailService.accessToken({}); });
    EXPECT_TRUE(provider.waitUntilHeld());  // the renewal is in flight
    gmailService.disconnect();
    provider.release();

    EXPECT_EQ(gmailError([&] { renewal.get(); }).kind(), Kind::notConnected);
    EXPECT_FALSE(gmailService.status().connected);
    EXPECT_FALSE(storedTokens());
}

}  // namespace
}  // namespace nudgerly
