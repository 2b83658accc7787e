#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "loopback/LoopbackHttpServer.h"
#include "sources/gmail/oauth/OAuthClient.h"

namespace nudgerly::test {

// One scripted answer of the token endpoint.
struct FakeTokenAnswer {
    int status = 200;
    std::string body;
    std::chrono::milliseconds delay{0};  // waited before answering (cut short when the server stops)
    bool held = false;                   // waits, once its request is in, until the test releases it

    // A 200 answer with these tokens; absent fields are left out.
    static FakeTokenAnswer tokens(const std::string& accessToken, std::optional<std::string> refreshToken,
                                  std::optional<int> expiresIn = 3599,
                                  std::optional<std::string> scope = "https://www.googleapis.com/auth/gmail.readonly");
};

// The identity provider's token endpoint on loopback ("/token"), answering each request with the next
// scripted answer (a 500 once they are used up), and keeping every request with its form fields.
class FakeOAuthProvider {
public:
    static constexpr const char* authorizationAddress = "https://accounts.example.com/o/oauth2/auth";

    FakeOAuthProvider();
    ~FakeOAuthProvider();
    FakeOAuthProvider(const FakeOAuthProvider&) = delete;
    FakeOAuthProvider& operator=(const FakeOAuthProvider&) = delete;

    std::string tokenAddress() const;
    // A client whose token address is this endpoint.
    OAuthClient client(const std::string& secret = "test-secret") const;
    // Writes `client` as a desktop client file ("installed") into the data folder.
    static void writeClientFile(const std::filesystem::path& dataDirectory, const OAuthClient& client);

    void script(std::vector<FakeTokenAnswer> answers);
    // Waits up to `limit` for the request of a held answer to arrive; true once it has.
    bool waitUntilHeld(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Lets held answers go out.
    void release();

    std::vector<TestHttpRequest> requests() const { return server_.requests(); }
    // The form fields of every request, read as a form server reads them ("+" is a space).
    std::vector<std::map<std::string, std::string>> forms() const;

private:
    void serve(const TestHttpRequest& request, ResponseWriter& writer);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FakeTokenAnswer> answers_;
    bool heldArrived_ = false;
    bool released_ = false;
    LoopbackHttpServer server_;  // last: it stops before the rest goes away
};

}  // namespace nudgerly::test
