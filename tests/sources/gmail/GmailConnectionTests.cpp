#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "core/CancelledError.h"
#include "core/UserFacingError.h"
#include "sources/gmail/GmailServiceFixture.h"
#include "sources/gmail/oauth/GmailAuthorization.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using test::FakeBrowser;
using test::FakeGmailAnswer;
using test::FakeTokenAnswer;
using Kind = GmailError::Kind;

class GmailConnectionTests : public test::GmailServiceFixture {};

TEST_F(GmailConnectionTests, SignsInThroughTheBrowserAndKeepsTheTokens) {
    provider.script({FakeTokenAnswer::tokens("access-1", "refresh-1")});
    gmail.setAccessToken("access-1");
    auto& gmailService = makeService();
    EXPECT_EQ(gmailService.status(), (GmailConnectionStatus{.configured = true}));

    const auto status = gmailService.connect({});

    EXPECT_EQ(status, (GmailConnectionStatus{.configured = true, .connected = true, .email = "me@example.com"}));
    EXPECT_EQ(browser->problems(), std::vector<std::string>{});
    EXPECT_TRUE(browser->openedAddresses().at(0).starts_with(
        std::string(test::FakeOAuthProvider::authorizationAddress) + "?client_id="));
    EXPECT_NE(browser->page().find("<h2>Gmail connected</h2>"), std::string::npos);

    // The code goes back with the verifier whose challenge the browser saw, and the same redirect.
    const auto form = provider.forms().at(0);
    const auto items = browser->items();
    EXPECT_EQ(form.at("grant_type"), "authorization_code");
    EXPECT_EQ(form.at("code"), "4/0Adeu5BW-test-code");
    EXPECT_EQ(form.at("client_id"), "test-client.apps.example.com");
    EXPECT_EQ(form.at("client_secret"), "test-secret");
    EXPECT_EQ(form.at("redirect_uri"), items.at("redirect_uri"));
    EXPECT_EQ(form.at("code_verifier").size(), 64u);
    EXPECT_EQ(GmailAuthorization::codeChallenge(form.at("code_verifier")), items.at("code_challenge"));
    EXPECT_EQ(provider.requests().at(0).header("content-type"), "application/x-www-form-urlencoded");

    const auto stored = storedTokens();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->at("access_token"), "access-1");
    EXPECT_EQ(stored->at("refresh_token"), "refresh-1");
    EXPECT_EQ(stored->at("email"), "me@example.com");
    EXPECT_EQ(stored->at("expires_at").get<double>(), main.now().addingSeconds(3599).secondsSinceReferenceDate);
}

TEST_F(GmailConnectionTests, ACodeWithFormCharactersArrivesIntact) {
    browser->setBehaviour({.code = "4/a+b&c=d e%"});
    provider.script({FakeTokenAnswer::tokens("access-1", "refresh-1")});
    makeService().connect({});
    EXPECT_EQ(provider.forms().at(0).at("code"), "4/a+b&c=d e%");
}

TEST_F(GmailConnectionTests, CallbacksThatDoNotGrantAccessFailWithTheirSentences) {
    struct Case {
        FakeBrowser::Behaviour behaviour;
        std::string sentence;
    };
    const std::vector<Case> cases = {
        {{.reply = FakeBrowser::Reply::error}, "Gmail authorization was not completed: access_denied"},
        {{.reply = FakeBrowser::Reply::query, .query = "state={state}"},
         "Google returned an invalid or expired authorization response."},
        {{.reply = FakeBrowser::Reply::query, .query = "code=a&code=b&state={state}"},
         "Google returned an invalid or expired authorization response."},
        {{.reply = FakeBrowser::Reply::failToOpen},
         "Nudgerly could not open Google sign-in. Open your default browser, then try Connect Gmail again."},
    };
    auto& gmailService = makeService();
    for (const auto& each : cases) {
        browser->setBehaviour(each.behaviour);
        EXPECT_EQ(gmailError([&] { gmailService.connect({}); }).what(), each.sentence) << each.behaviour.query;
        if (each.behaviour.reply != FakeBrowser::Reply::failToOpen) {
            EXPECT_NE(browser->page().find("<h2>Gmail authorization was not completed</h2>"), std::string::npos);
        }
    }
    EXPECT_TRUE(provider.requests().empty());
    EXPECT_FALSE(storedTokens());
    EXPECT_FALSE(gmailService.status().connected);
}

TEST_F(GmailConnectionTests, CallbacksOfAnotherStateCannotEndTheSignIn) {
    const std::vector<std::string> foreign = {"code=planted&state=other", "error=access_denied&state=other",
                                              "error=access_denied", ""};
    browser->setBehaviour({.foreignCallbacks = foreign});
    provider.script({FakeTokenAnswer::tokens("access-1", "refresh-1")});

    EXPECT_TRUE(makeService().connect({}).connected);
    EXPECT_EQ(provider.forms().at(0).at("code"), "4/0Adeu5BW-test-code");
    for (const auto& page : browser->foreignPages()) {
        EXPECT_NE(page.find("<h2>Gmail authorization was not completed</h2>"), std::string::npos);
    }
    EXPECT_EQ(browser->foreignPages().size(), foreign.size());
}

TEST_F(GmailConnectionTests, ClientProblemsAreReportedBeforeAnythingOpens) {
    std::filesystem::remove(root / "data" / "google-oauth-client.json");
    EXPECT_EQ(gmailError([&] { makeService().connect({}); }).kind(), Kind::missingOAuthClient);
    EXPECT_EQ(service->status(), GmailConnectionStatus{});

    auto client = provider.client();
    client.authURI = "not an address";
    test::FakeOAuthProvider::writeClientFile(root / "data", client);
    service->reloadClientConfiguration();
    EXPECT_TRUE(service->status().configured);
    EXPECT_EQ(gmailError([&] { service->connect({}); }).what(),
              std::string("That file is not a Google Desktop OAuth client."));
    EXPECT_TRUE(browser->openedAddresses().empty());

    client = provider.client();
    client.tokenURI = "file:///etc/passwd";
    test::FakeOAuthProvider::writeClientFile(root / "data", client);
    service->reloadClientConfiguration();
    EXPECT_EQ(gmailError([&] { service->connect({}); }).kind(), Kind::invalidOAuthClient);
    EXPECT_FALSE(storedTokens());
}

TEST_F(GmailConnectionTests, ABrokenRandomSourceStartsNoSignIn) {
    randomBytes = [](std::size_t) -> std::vector<uint8_t> { throw std::runtime_error("RAND_bytes failed"); };
    auto& gmailService = makeService();
    try {
        gmailService.connect({});
        FAIL() << "connected without random values";
    } catch (const UserFacingError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Nudgerly could not start Gmail sign-in because the system's secure random source failed. Try "
                  "connecting again.");
    }
    EXPECT_TRUE(browser->openedAddresses().empty());
}

TEST_F(GmailConnectionTests, TokenEndpointRefusalsCarryItsWords) {
    struct Case {
        FakeTokenAnswer answer;
        std::string sentence;
    };
    const std::vector<Case> cases = {
        {{.status = 400, .body = R"({"error":"invalid_grant","error_description":"Bad Request"})"}, "Bad Request"},
        {{.status = 400, .body = R"({"error":"invalid_grant"})"}, "invalid_grant"},
        {{.status = 502, .body = "<html>Bad gateway</html>"}, "Token exchange failed"},
        {{.status = 401, .body = R"({})"}, "Token exchange failed"},
        {{.status = 201, .body = FakeTokenAnswer::tokens("a", "r").body}, "Token exchange failed"},
    };
    auto& gmailService = makeService();
    for (const auto& each : cases) {
        provider.script({each.answer});
        const auto error = gmailError([&] { gmailService.connect({}); });
        EXPECT_EQ(error.kind(), Kind::google);
        EXPECT_EQ(error.what(), each.sentence);
    }
    EXPECT_FALSE(storedTokens());
    EXPECT_FALSE(gmailService.status().connected);
}

TEST_F(GmailConnectionTests, AFailedProfileCallKeepsNothing) {
    provider.script({FakeTokenAnswer::tokens("access-1", "refresh-1")});
    gmail.script("/users/me/profile",
                 {{.status = 403, .body = R"({"error":{"message":"Gmail API has not been used"}})"}});
    auto& gmailService = makeService();
    EXPECT_EQ(gmailError([&] { gmailService.connect({}); }).what(), std::string("Gmail API has not been used"));
    EXPECT_FALSE(storedTokens());
    EXPECT_FALSE(gmailService.status().connected);
}

TEST_F(GmailConnectionTests, NoCallbackInTimeEndsTheSignIn) {
    callbackWait = 100ms;
    browser->setBehaviour({.reply = FakeBrowser::Reply::stayOpen});
    EXPECT_EQ(gmailError([&] { makeService().connect({}); }).what(),
              std::string("Gmail authorization timed out. Try connecting again."));
}

TEST_F(GmailConnectionTests, AStopWhileTheBrowserIsOpenEndsAtOnceAndKeepsWhatWasThere) {
    storeTokens("old-access", "old-refresh", 3600);
    browser->setBehaviour({.reply = FakeBrowser::Reply::stayOpen});
    auto& gmailService = makeService();
    ASSERT_TRUE(gmailService.loadStoredStatus().connected);
    const auto before = secrets.load(GmailService::tokensAccount);

    EXPECT_LT(timeToStop([&](std::stop_token stop) { gmailService.connect(stop); },
                         [&] { return !browser->openedAddresses().empty(); }),
              1s);
    EXPECT_EQ(secrets.load(GmailService::tokensAccount), before);
    EXPECT_EQ(gmailService.status().email, "me@example.com");
    EXPECT_TRUE(provider.requests().empty());
}

TEST_F(GmailConnectionTests, AStopDuringTheTokenExchangeKeepsNothing) {
    provider.script({{.status = 200, .body = FakeTokenAnswer::tokens("a", "r").body, .delay = 5s}});
    auto& gmailService = makeService();
    EXPECT_LT(timeToStop([&](std::stop_token stop) { gmailService.connect(stop); },
                         [&] { return !provider.requests().empty(); }),
              1s);
    EXPECT_FALSE(storedTokens());
    EXPECT_FALSE(gmailService.status().connected);
}

TEST_F(GmailConnectionTests, TokensThatCannotBeStoredAreStillHeld) {
    secrets = SecretStore(root / "not-a-folder", "test-keychain");
    test::writeTestFile(root / "not-a-folder", "a file where the secrets folder should be");
    provider.script({FakeTokenAnswer::tokens("access-1", "refresh-1")});
    auto& gmailService = makeService();
    EXPECT_ANY_THROW(gmailService.connect({}));
    EXPECT_EQ(gmailService.status(),
              (GmailConnectionStatus{.configured = true, .connected = true, .email = "me@example.com"}));
}

}  // namespace
}  // namespace nudgerly
