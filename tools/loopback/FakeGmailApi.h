#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "loopback/LoopbackHttpServer.h"
#include "sources/gmail/GmailApiClient.h"

namespace nudgerly::test {

// One scripted answer of FakeGmailApi.
struct FakeGmailAnswer {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::chrono::milliseconds delay{0};  // waited before answering (cut short when the server stops)
    int heldInGroupsOf = 0;              // held until this many held answers wait, then they go together
    bool drop = false;                   // close the connection without answering
};

// The Gmail REST API's read calls on loopback, over HTTP or HTTPS, under the base path "/gmail/v1":
// the profile, message list pages by page token, threads by id (the path segment is percent-decoded),
// and per-path scripts that take precedence. Unknown pages and threads get Gmail's 404 error body.
// With an access token set, a request without "Authorization: Bearer <token>" gets 401.
class FakeGmailApi {
public:
    explicit FakeGmailApi(bool tls = false);
    FakeGmailApi(const FakeGmailApi&) = delete;
    FakeGmailApi& operator=(const FakeGmailApi&) = delete;

    // The base address and, over HTTPS, the certificate to trust: what GmailApiClient needs.
    GmailApiEndpoint endpoint() const;
    uint16_t port() const { return server_.port(); }
    // Connections stay open between requests, as Google's do.
    void keepConnectionsOpen() { server_.keepConnectionsOpen(); }
    std::size_t tlsHandshakeCount() const { return server_.tlsHandshakeCount(); }

    void setAccessToken(std::string token);
    void setProfile(std::string emailAddress);
    // The page served for `pageToken` ("" for the first page, asked without one).
    void addMessagePage(const std::string& pageToken,
                        const std::vector<std::pair<std::string, std::string>>& idAndThreadID,
                        std::optional<std::string> nextPageToken = std::nullopt);
    void addThread(const std::string& threadID, nlohmann::json thread);
    // Answers for requests to `path` (below the base, without the query), one per request, in order;
    // once they are used up the path is served normally again.
    void script(const std::string& path, std::vector<FakeGmailAnswer> answers);

    // Every request, in arrival order; targets and paths are as sent (with the base path).
    std::vector<TestHttpRequest> requests() const { return server_.requests(); }
    std::size_t requestCount() const { return server_.requestCount(); }
    // The most requests that were being answered at one time.
    int mostInFlight() const;
    // "begin <path>" when a request arrives and "end <path>" just before its answer goes out, in order
    // (paths below the base, thread ids as sent).
    std::vector<std::string> events() const;
    void stop() { server_.stop(); }

    static constexpr const char* basePath = "/gmail/v1";

private:
    void serve(const TestHttpRequest& request, ResponseWriter& writer);
    FakeGmailAnswer answerFor(const TestHttpRequest& request);

    mutable std::mutex mutex_;
    std::condition_variable heldChanged_;
    std::optional<std::string> accessToken_;
    std::optional<std::string> profile_;
    std::map<std::string, std::string> pages_;
    std::map<std::string, std::string> threads_;
    std::map<std::string, std::deque<FakeGmailAnswer>> scripts_;
    int heldCount_ = 0;
    int inFlight_ = 0;
    int mostInFlight_ = 0;
    std::vector<std::string> events_;
    LoopbackHttpServer server_;  // last: it stops before the rest goes away
};

}  // namespace nudgerly::test
