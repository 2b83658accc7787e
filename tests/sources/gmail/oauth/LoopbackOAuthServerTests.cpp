#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/CancelledError.h"
#include "sources/gmail/oauth/GmailError.h"
#include "sources/gmail/oauth/LoopbackOAuthServer.h"
#include "sources/gmail/oauth/OAuthCallback.h"
#include "support/RawConnection.h"
#include "support/ThreadWatch.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using test::RawConnection;
using test::rawExchange;

constexpr const char* state = "expected-state";
constexpr const char* grantRequest = "GET /oauth/callback?code=a&state=expected-state HTTP/1.1\r\nHost: x\r\n\r\n";

const std::string notFound =
    "HTTP/1.1 404 Not Found\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 9\r\n"
    "Connection: close\r\n\r\nNot Found";

bool hasHeading(const std::string& answer, const std::string& heading) {
    return answer.starts_with("HTTP/1.1 200 OK\r\n") && answer.find("<h2>" + heading + "</h2>") != std::string::npos;
}

// The listener closes on the server's own thread, a moment after the outcome is decided.
bool refusesConnectionsSoon(uint16_t port) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        try {
            RawConnection probe(port);
        } catch (const std::runtime_error&) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

GmailError::Kind gmailErrorKind(const std::function<void()>& call) {
    try {
        call();
    } catch (const GmailError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "no GmailError";
    return GmailError::Kind::google;
}

class LoopbackOAuthServerTests : public ::testing::Test {
protected:
    LoopbackOAuthServer server{state};
    std::string redirect = server.start();

    Url waitBriefly() { return server.waitForCallback(5s, {}); }
};

TEST_F(LoopbackOAuthServerTests, RedirectAddressNamesTheChosenPort) {
    EXPECT_NE(server.port(), 0);
    EXPECT_EQ(redirect, "http://127.0.0.1:" + std::to_string(server.port()) + "/oauth/callback");
}

TEST_F(LoopbackOAuthServerTests, AnswersTheCallbackAndHandsItToTheWaiter) {
    test::ThreadWatch waiter;
    auto waiting = std::async(std::launch::async, [&] {
        waiter.arrive();
        return waitBriefly();
    });
    ASSERT_TRUE(waiter.waitUntilBlocked());  // the callback comes to a caller already waiting
    const std::string answer = rawExchange(server.port(), grantRequest);

    const std::string page =
        "<html><body style='font:16px -apple-system;padding:48px'><h2>Gmail connected</h2><p>You can close this "
        "window and return to Nudgerly.</p></body></html>";
    ASSERT_EQ(page.size(), 151u);
    EXPECT_EQ(answer,
              "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 151\r\n"
              "Connection: close\r\n\r\n" +
                  page);
    const auto query = OAuthCallback::queryDictionary(waiting.get());
    EXPECT_EQ(query.at("code"), "a");
    EXPECT_EQ(query.at("state"), "expected-state");
}

TEST_F(LoopbackOAuthServerTests, AcceptsLineFeedHeadsPiecesBlankLinesAndExtraBlanks) {
    EXPECT_TRUE(hasHeading(rawExchange(server.port(), "GET /oauth/callback?code=a&state=expected-state HTTP/1.0\n\n"),
                           "Gmail connected"));
    EXPECT_EQ(OAuthCallback::queryDictionary(waitBriefly()).at("code"), "a");

    LoopbackOAuthServer pieces{state};
    pieces.start();
    RawConnection connection(pieces.port());
    for (const char* piece :
         {"GE", "T /oauth/call", "back?code=b&state=expected-state HTT", "P/1.1\r\nHost: x\r\n", "\r\n"}) {
        connection.send(piece);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(hasHeading(connection.receiveAll(), "Gmail connected"));
    EXPECT_EQ(OAuthCallback::queryDictionary(pieces.waitForCallback(5s, {})).at("code"), "b");

    LoopbackOAuthServer tolerant{state};
    tolerant.start();
    EXPECT_TRUE(hasHeading(
        rawExchange(tolerant.port(), "\r\n\r\nGET   /oauth/callback?code=c&state=expected-state \t HTTP/1.1\r\n\r\n"),
        "Gmail connected"));
    EXPECT_EQ(OAuthCallback::queryDictionary(tolerant.waitForCallback(5s, {})).at("code"), "c");
}

TEST_F(LoopbackOAuthServerTests, AnswersEverythingElseNotFoundAndKeepsListening) {
    const std::vector<std::string> requests = {
        "GET /favicon.ico HTTP/1.1\r\n\r\n",
        "POST /oauth/callback?code=a HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
        "GET /oauth/callback/?code=a HTTP/1.1\r\n\r\n",
        "get /oauth/callback?code=a HTTP/1.1\r\n\r\n",
        "GET /oauth/callback?code=a\r\n\r\n",
        "GET /oauth/callback?code=a HTTP/1.1 extra\r\n\r\n",
        "GET /oauth/callback?code=a FTP/1.1\r\n\r\n",
        "GET /oauth/callback?code=\xff HTTP/1.1\r\n\r\n",
        "GET /oauth/./callback HTTP/1.1\r\n\r\n",
        "\r\n\r\n",
    };
    for (const auto& request : requests) {
        EXPECT_EQ(rawExchange(server.port(), request), notFound) << request;
    }
    // A request cut off before its head ends.
    RawConnection truncated(server.port());
    truncated.send("GET /oauth/callback?code=a HTTP/1.1\r\n");
    truncated.finishSending();
    EXPECT_EQ(truncated.receiveAll(), notFound);

    EXPECT_TRUE(hasHeading(rawExchange(server.port(), grantRequest), "Gmail connected"));
    EXPECT_EQ(OAuthCallback::queryDictionary(waitBriefly()).at("code"), "a");
}

TEST_F(LoopbackOAuthServerTests, AnOversizedHeadIsRefusedWithoutReadingOn) {
    RawConnection connection(server.port());
    ASSERT_TRUE(connection.send("GET /oauth/callback?pad=" + std::string(32768 - 24, 'a')));
    EXPECT_EQ(connection.receiveAll(), notFound);

    // One byte less is still read on, and completes once the head ends.
    RawConnection fits(server.port());
    const std::string start = "GET /oauth/callback?code=a&state=expected-state&pad=";
    const std::string end = " HTTP/1.1\r\n\r\n";
    ASSERT_TRUE(fits.send(start + std::string(32768 - start.size() - end.size(), 'a') + end));
    EXPECT_TRUE(hasHeading(fits.receiveAll(), "Gmail connected"));
}

TEST_F(LoopbackOAuthServerTests, ShowsTheSuccessPageOnlyForAGrantWithTheExpectedState) {
    const std::vector<std::string> notCompleted = {
        "GET /oauth/callback?error=access_denied&state=expected-state HTTP/1.1\r\n\r\n",
        "GET /oauth/callback?code=a&state=expected-state&error=x HTTP/1.1\r\n\r\n",
        "GET /oauth/callback?code=a&code=b&state=expected-state HTTP/1.1\r\n\r\n",
    };
    for (const auto& request : notCompleted) {
        LoopbackOAuthServer fresh{state};
        fresh.start();
        EXPECT_TRUE(hasHeading(rawExchange(fresh.port(), request), "Gmail authorization was not completed")) << request;
        // Still the callback: the sign-in judges it.
        EXPECT_NO_THROW(fresh.waitForCallback(5s, {}));
    }
}

TEST_F(LoopbackOAuthServerTests, CallbacksOfAnotherStateGetTheNotCompletedPageAndChangeNothing) {
    for (const std::string query : {"?code=planted&state=other", "?error=access_denied&state=Expected-state",
                                    "?code=planted", "?state=other&state=expected-state&code=planted", ""}) {
        EXPECT_TRUE(hasHeading(rawExchange(server.port(), "GET /oauth/callback" + query + " HTTP/1.1\r\n\r\n"),
                               "Gmail authorization was not completed"))
            << query;
    }
    EXPECT_TRUE(hasHeading(rawExchange(server.port(), grantRequest), "Gmail connected"));
    EXPECT_EQ(OAuthCallback::queryDictionary(waitBriefly()).at("code"), "a");
}

TEST_F(LoopbackOAuthServerTests, AnEarlyCallbackIsReturnedAtOnceAndOnlyTheFirstCounts) {
    // Connections are taken in the order they came, so this one is the server's before the callback
    // that closes the listener.
    RawConnection openEarly(server.port());
    ASSERT_TRUE(hasHeading(rawExchange(server.port(), grantRequest), "Gmail connected"));

    // A connection opened before the first callback is still answered, without changing the result.
    openEarly.send("GET /oauth/callback?code=second&state=expected-state HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(hasHeading(openEarly.receiveAll(), "Gmail connected"));
    // The listener is gone.
    EXPECT_TRUE(refusesConnectionsSoon(server.port()));

    EXPECT_EQ(OAuthCallback::queryDictionary(server.waitForCallback(0ms, {})).at("code"), "a");
    EXPECT_EQ(gmailErrorKind([&] { server.waitForCallback(5s, {}); }), GmailError::Kind::loopbackFailed);
}

TEST_F(LoopbackOAuthServerTests, TimesOutAndThenStaysFailed) {
    EXPECT_EQ(gmailErrorKind([&] { server.waitForCallback(0ms, {}); }), GmailError::Kind::loopbackTimedOut);
    EXPECT_EQ(gmailErrorKind([&] { server.waitForCallback(5s, {}); }), GmailError::Kind::loopbackTimedOut);
    EXPECT_EQ(gmailErrorKind([&] { server.start(); }), GmailError::Kind::loopbackTimedOut);
    EXPECT_TRUE(refusesConnectionsSoon(server.port()));

    LoopbackOAuthServer negative{state};
    negative.start();
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(gmailErrorKind([&] { negative.waitForCallback(-5s, {}); }), GmailError::Kind::loopbackTimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
}

TEST_F(LoopbackOAuthServerTests, AStopEndsTheWaitAtOnce) {
    std::stop_source stop;
    test::ThreadWatch waiter;
    auto waiting = std::async(std::launch::async, [&] {
        waiter.arrive();
        server.waitForCallback(300s, stop.get_token());
    });
    ASSERT_TRUE(waiter.waitUntilBlocked());
    const auto before = std::chrono::steady_clock::now();
    stop.request_stop();
    EXPECT_THROW(waiting.get(), CancelledError);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    // A callback after the stop changes nothing.
    EXPECT_TRUE(refusesConnectionsSoon(server.port()));
}

TEST(LoopbackOAuthServerConnections, IdleConnectionsAreClosedUnanswered) {
    LoopbackOAuthServer server{state, {.idle = 200ms}};
    server.start();
    RawConnection silent(server.port());
    RawConnection halfway(server.port());
    halfway.send("GET /oauth/callback?code=a");
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(silent.closedWithin(3s));
    EXPECT_EQ(halfway.receiveAll(3s), "");
    EXPECT_GE(std::chrono::steady_clock::now() - before, 150ms);
    // The server itself goes on.
    EXPECT_TRUE(hasHeading(rawExchange(server.port(), grantRequest), "Gmail connected"));
}

TEST(LoopbackOAuthServerConnections, ARequestLineMustComeSoonEvenWhileBytesTrickle) {
    const auto before = std::chrono::steady_clock::now();
    LoopbackOAuthServer server{state, {.requestLine = 300ms}};
    server.start();
    RawConnection trickling(server.port());
    RawConnection lined(server.port());
    lined.send("GET /oauth/callback?code=a&state=expected-state HTTP/1.1\r\n");
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() - before < 3s) {
        closed = !trickling.send("G") || trickling.closedWithin(50ms);
    }
    EXPECT_TRUE(closed);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 300ms);
    // A request line in time leaves the rest of the head to the idle limit.
    lined.send("Host: x\r\n\r\n");
    EXPECT_TRUE(hasHeading(lined.receiveAll(), "Gmail connected"));
}

TEST(LoopbackOAuthServerConnections, ANewConnectionTakesThePlaceOfTheOldestIdleOne) {
    LoopbackOAuthServer server{state, {.requestLine = 10s}};
    server.start();
    std::vector<std::unique_ptr<RawConnection>> idle;
    for (std::size_t index = 0; index < LoopbackOAuthServer::connectionLimit; ++index) {
        idle.push_back(std::make_unique<RawConnection>(server.port()));
    }
    EXPECT_TRUE(hasHeading(rawExchange(server.port(), grantRequest), "Gmail connected"));
    EXPECT_TRUE(idle.front()->closedWithin(2s));
    // The others keep their places.
    idle.back()->send("GET /x HTTP/1.1\r\n\r\n");
    EXPECT_EQ(idle.back()->receiveAll(), notFound);
}

TEST(LoopbackOAuthServerConnections, GoingAwayClosesEveryConnection) {
    auto server = std::make_unique<LoopbackOAuthServer>(state);
    server->start();
    RawConnection open(server->port());
    // A later connection answered means this one was taken too, rather than left waiting in the backlog.
    EXPECT_EQ(rawExchange(server->port(), "GET /x HTTP/1.1\r\n\r\n"), notFound);
    const uint16_t port = server->port();
    server.reset();
    EXPECT_TRUE(open.closedWithin(1s));
    EXPECT_TRUE(refusesConnectionsSoon(port));
}

}  // namespace
}  // namespace nudgerly
