#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <semaphore>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <curl/curl.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/CancelledError.h"
#include "loopback/LoopbackHttpServer.h"
#include "platform/net/HttpClient.h"

// libcurl's header-list append, made to fail on the test's say-so (as it does when memory runs out).
namespace {
std::atomic<int> appendsBeforeFailure{-1};  // -1: never fail
}  // namespace

extern "C" curl_slist* curl_slist_append(curl_slist* list, const char* line) {
    using Append = curl_slist* (*)(curl_slist*, const char*);
    static const auto real = reinterpret_cast<Append>(::dlsym(RTLD_NEXT, "curl_slist_append"));
    if (appendsBeforeFailure.load() == 0) {
        return nullptr;
    }
    if (appendsBeforeFailure.load() > 0) {
        --appendsBeforeFailure;
    }
    return real(list, line);
}

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using test::LoopbackHttpServer;
using test::ResponseWriter;
using test::TestHttpRequest;

HttpError::Kind failureKind(const HttpRequest& request) {
    try {
        CurlHttpClient().send(request, {});
    } catch (const HttpError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "expected an HttpError";
    return HttpError::Kind::other;
}

TEST(HttpClientTests, SendsMethodHeadersAndBodyAndReturnsAnyStatus) {
    LoopbackHttpServer server([](const TestHttpRequest& request, ResponseWriter& writer) {
        if (request.path() == "/missing") {
            writer.respond(404, "nope");
            return;
        }
        writer.respond(200, request.method + " " + request.body + " " + request.header("authorization").value_or(""),
                       {{"X-Reply", "yes"}});
    });
    CurlHttpClient client;
    const auto response = client.send({.method = "POST",
                                       .url = server.baseUrl() + "/v1/chat",
                                       .headers = {{"Authorization", "Bearer k"}},
                                       .body = R"({"a":1})"},
                                      {});
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, R"(POST {"a":1} Bearer k)");
    EXPECT_EQ(response.header("x-reply"), "yes");
    EXPECT_EQ(client.send({.url = server.baseUrl() + "/missing"}, {}).status, 404);
}

TEST(HttpClientTests, AHeaderThatCannotBeAddedFailsTheRequestInsteadOfDroppingTheOthers) {
    std::atomic<int> received{0};
    LoopbackHttpServer server([&](const TestHttpRequest&, ResponseWriter& writer) {
        ++received;
        writer.respond(200, "ok");
    });
    for (const int failingAppend : {0, 1, 2}) {  // the first, a middle one, the closing "Expect:"
        appendsBeforeFailure = failingAppend;
        EXPECT_EQ(
            failureKind({.url = server.baseUrl() + "/", .headers = {{"Authorization", "Bearer k"}, {"X-Other", "1"}}}),
            HttpError::Kind::other)
            << failingAppend;
        appendsBeforeFailure = -1;
    }
    EXPECT_EQ(received, 0);  // under the sanitizer, no list is left behind either
}

TEST(HttpClientTests, CapsTheAnswerAndReportsBrokenTransfers) {
    LoopbackHttpServer server([](const TestHttpRequest& request, ResponseWriter& writer) {
        if (request.path() == "/big") {
            writer.respond(200, std::string(2048, 'x'));
        } else {
            writer.writeHead(200, {}, 1000);
            writer.writeBody("partial");
            writer.drop();
        }
    });
    EXPECT_EQ(failureKind({.url = server.baseUrl() + "/big", .maxResponseBytes = 1024}),
              HttpError::Kind::responseTooLarge);
    EXPECT_EQ(CurlHttpClient().send({.url = server.baseUrl() + "/big", .maxResponseBytes = 2048}, {}).body.size(),
              2048u);
    EXPECT_EQ(failureKind({.url = server.baseUrl() + "/dropped"}), HttpError::Kind::connectionLost);
}

TEST(HttpClientTests, TimesOutAndStopsPromptlyOnAStalledServer) {
    std::counting_semaphore<> stalling{0};
    LoopbackHttpServer server([&](const TestHttpRequest&, ResponseWriter& writer) {
        writer.writeHead(200, {}, 10);
        stalling.release();
        for (int i = 0; i < 300 && !server.isStopping(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
    });
    EXPECT_EQ(failureKind({.url = server.baseUrl(), .timeout = 300ms}), HttpError::Kind::timedOut);
    ASSERT_TRUE(stalling.try_acquire_for(10s));

    // Stopped while the answer is under way.
    std::stop_source stop;
    std::atomic<std::chrono::steady_clock::time_point> stoppedAt{};
    std::jthread stopper([&] {
        stalling.try_acquire_for(10s);
        stoppedAt = std::chrono::steady_clock::now();
        stop.request_stop();
    });
    EXPECT_THROW(CurlHttpClient().send({.url = server.baseUrl()}, stop.get_token()), CancelledError);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt.load(), 1500ms);
    server.stop();
}

TEST(HttpClientTests, RefusedConnectionsAndUntrustedCertificatesFail) {
    uint16_t closedPort = 0;
    {
        LoopbackHttpServer gone([](const TestHttpRequest&, ResponseWriter& w) { w.respond(200, ""); });
        closedPort = gone.port();
    }
    EXPECT_EQ(failureKind({.url = "http://127.0.0.1:" + std::to_string(closedPort)}), HttpError::Kind::cannotConnect);

    LoopbackHttpServer secure([](const TestHttpRequest&, ResponseWriter& w) { w.respond(200, "secret"); }, true);
    EXPECT_EQ(CurlHttpClient().send({.url = secure.baseUrl(), .caFile = secure.caFile()}, {}).body, "secret");
    EXPECT_EQ(failureKind({.url = secure.baseUrl()}), HttpError::Kind::insecureConnection);

    // A server that answers in plain text breaks the handshake off: a different failure, which may pass.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}};
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::jthread plain([listener] {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client >= 0) {
            constexpr std::string_view answer = "HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n";
            [[maybe_unused]] const auto written = ::write(client, answer.data(), answer.size());
            ::close(client);
        }
    });
    EXPECT_EQ(failureKind({.url = "https://127.0.0.1:" + std::to_string(ntohs(address.sin_port))}),
              HttpError::Kind::secureConnectionFailed);
    ::shutdown(listener, SHUT_RDWR);  // wakes the accept should the client never have come
    plain.join();
    ::close(listener);
}

TEST(HttpClientTests, RequestsReuseOpenConnectionsAndConcurrentOnesGetTheirOwn) {
    // Answers to "/together" wait until three requests are being answered at once.
    std::mutex mutex;
    std::condition_variable allThere;
    int waiting = 0;
    LoopbackHttpServer server(
        [&](const TestHttpRequest& request, ResponseWriter& writer) {
            if (request.path() == "/together") {
                std::unique_lock lock(mutex);
                ++waiting;
                allThere.notify_all();
                allThere.wait_for(lock, 5s, [&] { return waiting >= 3; });
            }
            writer.respond(200, request.path());
        },
        true);
    server.keepConnectionsOpen();
    CurlHttpClient client;
    const auto get = [&](const std::string& path) {
        return client.send({.url = server.baseUrl() + path, .caFile = server.caFile()}, {}).body;
    };
    EXPECT_EQ(get("/a"), "/a");
    EXPECT_EQ(get("/b"), "/b");
    EXPECT_EQ(server.tlsHandshakeCount(), 1u);
    {
        std::vector<std::jthread> callers;
        for (int i = 0; i < 3; ++i) {
            callers.emplace_back([&] { EXPECT_EQ(get("/together"), "/together"); });
        }
    }
    EXPECT_EQ(waiting, 3);
    EXPECT_EQ(server.tlsHandshakeCount(), 3u);
    EXPECT_EQ(get("/c"), "/c");
    EXPECT_EQ(server.tlsHandshakeCount(), 3u);
}

TEST(HttpClientTests, LoopbackRequestsIgnoreProxiesFromTheEnvironment) {
    LoopbackHttpServer server([](const TestHttpRequest&, ResponseWriter& w) { w.respond(200, "direct"); });
    ::setenv("http_proxy", "http://127.0.0.1:9", 1);
    ::setenv("HTTP_PROXY", "http://127.0.0.1:9", 1);
    ::setenv("ALL_PROXY", "http://127.0.0.1:9", 1);
    const auto response = CurlHttpClient().send({.url = server.baseUrl()}, {});
    ::unsetenv("http_proxy");
    ::unsetenv("HTTP_PROXY");
    ::unsetenv("ALL_PROXY");
    EXPECT_EQ(response.body, "direct");
    EXPECT_TRUE(isLoopbackUrl("http://localhost:80/x"));
    EXPECT_FALSE(isLoopbackUrl("https://example.com/127.0.0.1"));
    EXPECT_TRUE(isLoopbackUrl("http://127.0.0.1:8080/x"));
    EXPECT_FALSE(isLoopbackUrl("http://127.0.0.1.example.com/x"));
}

}  // namespace
}  // namespace nudgerly
