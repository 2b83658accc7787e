#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/CancelledError.h"
#include "core/JsonCoding.h"
#include "core/Sleep.h"
#include "loopback/FakeGmailApi.h"
#include "loopback/GmailFixtures.h"
#include "platform/net/HttpClient.h"
#include "sources/gmail/GmailApiClient.h"
#include "sources/gmail/GmailRetryPolicy.h"
#include "sources/gmail/oauth/GmailError.h"
#include "support/ThreadWatch.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using test::FakeGmailAnswer;
using test::FakeGmailApi;

// Records the waits instead of sleeping through them.
struct RecordedSleeps {
    std::mutex mutex;
    std::vector<std::chrono::milliseconds> waits;

    GmailApiClient::Sleeper sleeper() {
        return [this](std::chrono::milliseconds duration, std::stop_token) {
            std::lock_guard lock(mutex);
            waits.push_back(duration);
        };
    }
};

struct ApiFixture {
    explicit ApiFixture(bool tls = false)
        : api(tls), client(std::make_shared<CurlHttpClient>(), api.endpoint(), sleeps.sleeper()) {
        api.setAccessToken("token-1");
        api.setProfile("me@example.com");
    }

    GmailProfile profile() const { return client.api<GmailProfile>("/users/me/profile", {}, "token-1", {}); }

    FakeGmailApi api;
    RecordedSleeps sleeps;
    GmailApiClient client;
};

std::string errorBody(const std::string& message) {
    return R"({"error":{"code":500,"message":")" + message + R"("}})";
}

std::string googleMessage(const std::function<void()>& call) {
    try {
        call();
    } catch (const GmailError& error) {
        EXPECT_EQ(error.kind(), GmailError::Kind::google);
        return error.what();
    }
    ADD_FAILURE() << "expected a GmailError";
    return {};
}

TEST(GmailApiClientTests, SendsAnAuthorisedGetAndDecodesTheRecord) {
    ApiFixture fixture;
    fixture.api.addMessagePage("", {{"m1", "t1"}, {"m2", "t1"}}, "next page");
    fixture.api.addMessagePage("next page", {{"m3", "t2"}});

    const auto first = fixture.client.api<GmailMessageList>("/users/me/messages",
                                                            {{"q", "newer_than:7d in:inbox -in:spam"},
                                                             {"labelIds", "INBOX"},
                                                             {"maxResults", "100"},
                                                             {"pageToken", std::nullopt}},
                                                            "token-1", {});
    EXPECT_EQ(first.messages->size(), 2u);
    const auto second = fixture.client.api<GmailMessageList>("/users/me/messages",
                                                             {{"pageToken", *first.nextPageToken}}, "token-1", {});
    EXPECT_EQ(second.messages->at(0).threadID, "t2");
    EXPECT_EQ(fixture.profile().emailAddress, "me@example.com");

    const auto requests = fixture.api.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "GET");
    // Every query value is encoded; an item without a value is left out.
    EXPECT_EQ(requests[0].target,
              "/gmail/v1/users/me/messages?q=newer_than%3A7d%20in%3Ainbox%20-in%3Aspam&labelIds=INBOX&maxResults=100");
    EXPECT_EQ(requests[1].target, "/gmail/v1/users/me/messages?pageToken=next%20page");
    EXPECT_EQ(requests[2].target, "/gmail/v1/users/me/profile");
    for (const auto& request : requests) {
        EXPECT_EQ(request.header("authorization"), "Bearer token-1");
        // Authorization is the only header of ours; Host and Accept are the transport's own.
        for (const auto& [name, value] : request.headers) {
            EXPECT_TRUE(name == "authorization" || name == "host" || name == "accept") << name << ": " << value;
        }
    }
    EXPECT_TRUE(fixture.sleeps.waits.empty());
}

TEST(GmailApiClientTests, AThreadIdIsOnePathSegment) {
    ApiFixture fixture;
    for (const std::string id : {"18c2f0a", "a/../../profile?x=1#y", "..", ".", "%2F"}) {
        fixture.api.addThread(id, test::GmailFixtures::thread(id, {{}}));
        const auto thread =
            fixture.client.api<GmailThread>(GmailApiClient::threadPath(id), {{"format", "full"}}, "token-1", {});
        EXPECT_EQ(thread.id, id);
    }
    EXPECT_EQ(fixture.api.requests()[1].target,
              "/gmail/v1/users/me/threads/a%2F..%2F..%2Fprofile%3Fx%3D1%23y?format=full");
    EXPECT_EQ(fixture.api.requests()[2].target, "/gmail/v1/users/me/threads/%2E%2E?format=full");
}

TEST(GmailApiClientTests, RateLimitsAndServerErrorsWaitAsRetryAfterSays) {
    ApiFixture fixture;
    const auto retryAfter = [](int status, const std::string& value) {
        return FakeGmailAnswer{.status = status, .headers = {{"Retry-After", value}}, .body = errorBody("busy")};
    };
    fixture.api.script("/users/me/profile", {retryAfter(503, "3")});
    EXPECT_EQ(fixture.profile().emailAddress, "me@example.com");
    fixture.api.script("/users/me/profile", {retryAfter(429, "120"), retryAfter(429, " 0.25 ")});
    fixture.profile();
    fixture.api.script("/users/me/profile", {retryAfter(500, "2.5e3"), retryAfter(599, "0")});
    fixture.profile();
    EXPECT_EQ(fixture.sleeps.waits, (std::vector<std::chrono::milliseconds>{3000ms, 10000ms, 250ms, 10000ms, 0ms}));
    EXPECT_EQ(fixture.api.requestCount(), 8u);

    // Unusable values fall back to the backoff of the attempt: 500 ms, then 1 s.
    for (const std::string value : {"-5", "soon", "Wed, 21 Oct 2026 07:28:00 GMT", "nan", ""}) {
        fixture.sleeps.waits.clear();
        fixture.api.script("/users/me/profile", {retryAfter(500, value), retryAfter(500, value)});
        fixture.profile();
        EXPECT_EQ(fixture.sleeps.waits, (std::vector<std::chrono::milliseconds>{500ms, 1000ms})) << value;
    }
    fixture.sleeps.waits.clear();
    fixture.api.script("/users/me/profile", {{.status = 502}});
    fixture.profile();
    EXPECT_EQ(fixture.sleeps.waits, (std::vector<std::chrono::milliseconds>{500ms}));
}

TEST(GmailApiClientTests, UnsuccessfulAnswersCarryTheServersMessage) {
    ApiFixture fixture;
    fixture.api.script("/users/me/profile", {{.status = 500, .body = errorBody("first")},
                                             {.status = 500, .body = errorBody("second")},
                                             {.status = 500, .body = errorBody("third")}});
    EXPECT_EQ(googleMessage([&] { fixture.profile(); }), "third");
    EXPECT_EQ(fixture.api.requestCount(), 3u);
    EXPECT_EQ(fixture.sleeps.waits, (std::vector<std::chrono::milliseconds>{500ms, 1000ms}));

    fixture.api.script("/users/me/profile", {{.status = 500}, {.status = 500}, {.status = 500, .body = "<html>oops"}});
    EXPECT_EQ(googleMessage([&] { fixture.profile(); }), "Gmail request failed");

    // No retry for any other status, successful ones but 200 included.
    fixture.sleeps.waits.clear();
    const auto before = fixture.api.requestCount();
    EXPECT_EQ(
        googleMessage([&] { fixture.client.api<GmailThread>(GmailApiClient::threadPath("gone"), {}, "token-1", {}); }),
        "Requested entity was not found.");
    fixture.api.script("/users/me/profile", {{.status = 201, .body = R"({"emailAddress":"me@example.com"})"}});
    EXPECT_EQ(googleMessage([&] { fixture.profile(); }), "Gmail request failed");
    fixture.api.script("/users/me/profile", {{.status = 204}});
    EXPECT_EQ(googleMessage([&] { fixture.profile(); }), "Gmail request failed");
    EXPECT_EQ(googleMessage([&] { fixture.client.api<GmailProfile>("/users/me/profile", {}, "expired", {}); }),
              "Request had invalid authentication credentials.");
    EXPECT_EQ(fixture.api.requestCount(), before + 4);
    EXPECT_TRUE(fixture.sleeps.waits.empty());
}

TEST(GmailApiClientTests, ASuccessfulAnswerThatIsNotTheRecordIsTheDecodersError) {
    ApiFixture fixture;
    fixture.api.script("/users/me/profile", {{.body = R"({"emailAddress":42})"}});
    EXPECT_THROW(fixture.profile(), JsonDecodingError);
    fixture.api.script("/users/me/profile", {{.body = "not json"}});
    EXPECT_THROW(fixture.profile(), JsonDecodingError);
    EXPECT_EQ(fixture.api.requestCount(), 2u);
}

TEST(GmailApiClientTests, TransientTransportFailuresAreRetried) {
    ApiFixture fixture;
    fixture.api.script("/users/me/profile", {{.drop = true}});
    EXPECT_EQ(fixture.profile().emailAddress, "me@example.com");
    EXPECT_EQ(fixture.sleeps.waits, (std::vector<std::chrono::milliseconds>{500ms}));

    // A closed port: three attempts, two waits, then the transport error itself.
    uint16_t closedPort = 0;
    {
        FakeGmailApi gone;
        closedPort = gone.port();
    }
    RecordedSleeps sleeps;
    const GmailApiClient refused(std::make_shared<CurlHttpClient>(),
                                 {.baseAddress = "http://127.0.0.1:" + std::to_string(closedPort) + "/gmail/v1"},
                                 sleeps.sleeper());
    try {
        refused.api<GmailProfile>("/users/me/profile", {}, "t", {});
        ADD_FAILURE() << "expected an HttpError";
    } catch (const HttpError& error) {
        EXPECT_EQ(error.kind(), HttpError::Kind::cannotConnect);
    }
    EXPECT_EQ(sleeps.waits, (std::vector<std::chrono::milliseconds>{500ms, 1000ms}));
}

TEST(GmailApiClientTests, AServerThatFallsSilentFailsAtTheStallLimitAndIsRetried) {
    FakeGmailApi api;
    api.setProfile("me@example.com");
    api.script("/users/me/profile", {{.delay = 60s}});  // takes the request and says nothing
    RecordedSleeps sleeps;
    auto endpoint = api.endpoint();
    EXPECT_EQ(endpoint.stallTimeout, 15s);
    endpoint.stallTimeout = 1s;
    const GmailApiClient client(std::make_shared<CurlHttpClient>(), endpoint, sleeps.sleeper());

    // A call held to the whole time-out is stopped long before it, failing the test in seconds.
    std::stop_source guard;
    std::jthread watchdog([&](std::stop_token callEnded) {
        try {
            sleepFor(10s, callEnded);
            guard.request_stop();
        } catch (const CancelledError&) {
        }
    });
    EXPECT_EQ(client.api<GmailProfile>("/users/me/profile", {}, "t", guard.get_token()).emailAddress, "me@example.com");
    EXPECT_EQ(sleeps.waits, (std::vector<std::chrono::milliseconds>{500ms}));  // a timed-out attempt
    api.stop();
}

TEST(GmailApiClientTests, OverHttpsAnUntrustedCertificateFailsAtOnce) {
    ApiFixture trusted(true);
    EXPECT_EQ(trusted.profile().emailAddress, "me@example.com");

    RecordedSleeps sleeps;
    const GmailApiClient untrusted(std::make_shared<CurlHttpClient>(),
                                   {.baseAddress = trusted.api.endpoint().baseAddress}, sleeps.sleeper());
    try {
        untrusted.api<GmailProfile>("/users/me/profile", {}, "token-1", {});
        ADD_FAILURE() << "expected an HttpError";
    } catch (const HttpError& error) {
        EXPECT_EQ(error.kind(), HttpError::Kind::insecureConnection);
        EXPECT_FALSE(GmailRetryPolicy::shouldRetry(error));
    }
    EXPECT_TRUE(sleeps.waits.empty());
    EXPECT_EQ(trusted.api.requestCount(), 1u);
}

TEST(GmailApiClientTests, AStopEndsAWaitOrASlowAnswerWithinASecond) {
    FakeGmailApi api;
    api.setProfile("me@example.com");
    const GmailApiClient client(std::make_shared<CurlHttpClient>(), api.endpoint());  // real sleeps
    // How long the call goes on after a stop request made once `reached()` has returned.
    test::ThreadWatch caller;
    const auto lingering = [&](const std::function<void()>& reached) {
        std::stop_source stop;
        std::atomic<std::chrono::steady_clock::time_point> stoppedAt{};
        std::jthread stopper([&] {
            reached();
            stoppedAt = std::chrono::steady_clock::now();
            stop.request_stop();
        });
        caller.arrive();
        EXPECT_THROW(client.api<GmailProfile>("/users/me/profile", {}, "t", stop.get_token()), CancelledError);
        stopper.join();
        return std::chrono::steady_clock::now() - stoppedAt.load();
    };
    // Slack over the second for a loaded machine. The wait before the retry is a sleep of the caller's.
    api.script("/users/me/profile", {{.status = 429, .headers = {{"Retry-After", "10"}}}});
    EXPECT_LT(lingering([&] { EXPECT_TRUE(caller.waitUntilBlocked()); }), 1300ms);
    const auto asked = api.requestCount();
    api.script("/users/me/profile", {{.delay = 30s}});
    EXPECT_LT(lingering([&] {
                  const auto deadline = std::chrono::steady_clock::now() + 10s;
                  while (api.requestCount() == asked && std::chrono::steady_clock::now() < deadline) {
                      std::this_thread::sleep_for(1ms);
                  }
              }),
              1300ms);

    std::stop_source stopped;
    stopped.request_stop();
    const auto before = api.requestCount();
    EXPECT_THROW(client.api<GmailProfile>("/users/me/profile", {}, "t", stopped.get_token()), CancelledError);
    EXPECT_EQ(api.requestCount(), before);
    api.stop();
}

TEST(GmailApiClientTests, ConcurrentCallsOverlapAndShareNothing) {
    ApiFixture fixture;
    std::vector<std::jthread> callers;
    std::atomic<int> fetched{0};
    for (int i = 0; i < 6; ++i) {
        const std::string id = "t" + std::to_string(i);
        fixture.api.addThread(id, test::GmailFixtures::thread(id, {{}}));
        fixture.api.script(GmailApiClient::threadPath(id), {{.status = 503, .heldInGroupsOf = 6}});
    }
    for (int i = 0; i < 6; ++i) {
        callers.emplace_back([&, i] {
            const std::string id = "t" + std::to_string(i);
            if (fixture.client.api<GmailThread>(GmailApiClient::threadPath(id), {}, "token-1", {}).id == id) {
                ++fetched;
            }
        });
    }
    callers.clear();
    EXPECT_EQ(fetched.load(), 6);
    EXPECT_EQ(fixture.api.mostInFlight(), 6);
    EXPECT_EQ(fixture.sleeps.waits.size(), 6u);
}

TEST(GmailRetryPolicyTests, OnlyPassingTransportFailuresAreRetried) {
    using Kind = HttpError::Kind;
    for (const Kind kind : {Kind::timedOut, Kind::cannotConnect, Kind::connectionLost, Kind::secureConnectionFailed}) {
        EXPECT_TRUE(GmailRetryPolicy::shouldRetry(HttpError(kind, "x")));
    }
    for (const Kind kind : {Kind::responseTooLarge, Kind::insecureConnection, Kind::other}) {
        EXPECT_FALSE(GmailRetryPolicy::shouldRetry(HttpError(kind, "x")));
    }
    EXPECT_FALSE(GmailRetryPolicy::shouldRetry(CancelledError()));
    EXPECT_FALSE(GmailRetryPolicy::shouldRetry(GmailError::google("x")));
    EXPECT_EQ(GmailRetryPolicy::backoff(0), 500ms);
    EXPECT_EQ(GmailRetryPolicy::backoff(1), 1000ms);
    EXPECT_EQ(GmailRetryPolicy::backoff(5), 4000ms);
    EXPECT_EQ(GmailRetryPolicy::delayAfterAnswer("+3", 0), 3000ms);
    EXPECT_EQ(GmailRetryPolicy::delayAfterAnswer("inf", 0), 10000ms);
    EXPECT_EQ(GmailRetryPolicy::delayAfterAnswer("1.0009", 0), 1000ms);
    EXPECT_EQ(GmailRetryPolicy::delayAfterAnswer("3 s", 1), 1000ms);
    EXPECT_EQ(GmailRetryPolicy::delayAfterAnswer(std::nullopt, 0), 500ms);
}

}  // namespace
}  // namespace nudgerly
