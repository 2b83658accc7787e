#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/CancelledError.h"
#include "files/TempDir.h"
#include "loopback/FakeGmailApi.h"
#include "platform/net/HttpClient.h"
#include "platform/secrets/SecretStore.h"
#include "sources/gmail/GmailService.h"
#include "sources/gmail/oauth/GmailError.h"
#include "support/FakeBrowser.h"
#include "support/FakeOAuthProvider.h"
#include "support/VirtualMainQueue.h"

namespace nudgerly::test {

// A Gmail service wired to loopback fakes: the token endpoint, the Gmail API and a browser that signs
// in. The test's thread is the main thread; the clock is the main queue's virtual one.
class GmailServiceFixture : public ::testing::Test {
protected:
    TempDir root;
    VirtualMainQueue main;
    FakeOAuthProvider provider;
    FakeGmailApi gmail;
    std::shared_ptr<FakeBrowser> browser = std::make_shared<FakeBrowser>();
    SecretStore secrets{root / "secrets", "test-keychain"};
    std::chrono::milliseconds callbackWait{5000};
    GmailAuthorization::RandomSource randomBytes;
    std::unique_ptr<GmailService> service;

    GmailServiceFixture() {
        FakeOAuthProvider::writeClientFile(root / "data", provider.client());
        gmail.setProfile("me@example.com");
    }

    GmailServiceDependencies dependencies() {
        return {
            .resourceFolder = std::nullopt,
            .dataDirectory = root / "data",
            .secrets = secrets,
            .http = std::make_shared<CurlHttpClient>(),
            .urlOpener = browser,
            .mainQueue = main,
            .clock = main,
            .api = gmail.endpoint(),
            .callbackWait = callbackWait,
            .retrySleeper = [](std::chrono::milliseconds, std::stop_token) {},
            .randomBytes = randomBytes,
        };
    }

    GmailService& makeService() {
        service = std::make_unique<GmailService>(dependencies());
        return *service;
    }

    std::optional<nlohmann::json> storedTokens() const {
        const auto stored = secrets.load(GmailService::tokensAccount);
        return stored ? std::optional(nlohmann::json::parse(*stored)) : std::nullopt;
    }

    // Stores tokens as a previous run would have, expiring `secondsLeft` from now.
    void storeTokens(const std::string& accessToken, std::optional<std::string> refreshToken, double secondsLeft,
                     std::optional<std::string> email = "me@example.com") {
        nlohmann::json tokens{{"access_token", accessToken},
                              {"expires_at", main.now().addingSeconds(secondsLeft).secondsSinceReferenceDate},
                              {"expires_in", 3599},
                              {"scope", "https://www.googleapis.com/auth/gmail.readonly"},
                              {"token_type", "Bearer"}};
        if (refreshToken) {
            tokens["refresh_token"] = *refreshToken;
        }
        if (email) {
            tokens["email"] = *email;
        }
        secrets.save(tokens.dump(), GmailService::tokensAccount);
    }

    // Runs `call` on another thread while this (main) thread serves its progress lines, stops it once
    // `ready` holds, and gives how long it took to end then. The call must end with CancelledError.
    std::chrono::steady_clock::duration timeToStop(const std::function<void(std::stop_token)>& call,
                                                   const std::function<bool()>& ready) {
        std::stop_source stop;
        auto running = std::async(std::launch::async, [&] { call(stop.get_token()); });
        const auto ended = [&] { return running.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
        EXPECT_TRUE(main.runUntil([&] { return ready() || ended(); }));
        const auto stopped = std::chrono::steady_clock::now();
        stop.request_stop();
        EXPECT_TRUE(main.runUntil(ended));
        const auto took = std::chrono::steady_clock::now() - stopped;
        EXPECT_THROW(running.get(), CancelledError);
        return took;
    }

    // The GmailError a call throws (a test failure when it throws none).
    static GmailError gmailError(const std::function<void()>& call) {
        try {
            call();
        } catch (const GmailError& error) {
            return error;
        }
        ADD_FAILURE() << "no GmailError was thrown";
        return GmailError::google("");
    }
};

}  // namespace nudgerly::test
