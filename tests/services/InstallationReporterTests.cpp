#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <regex>
#include <semaphore>
#include <thread>

#include <gtest/gtest.h>

#include "core/JsonCoding.h"
#include "services/InstallationReporter.h"
#include "services/InstallationReportingPolicy.h"
#include "support/ServiceStandIn.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
using InstallationReportingPolicy::pendingIDKey;
using InstallationReportingPolicy::reportedKey;
using test::keysOf;
using test::ResponseWriter;
using test::TestHttpRequest;

// An install service on loopback that accepts the event and notes the pending identifier stored at
// the moment the post arrived.
class InstallationReporterTest : public ::testing::Test {
protected:
    std::shared_ptr<InMemorySettingsStore> settings = std::make_shared<InMemorySettingsStore>();
    std::mutex seenMutex;
    std::vector<std::optional<nlohmann::json>> storedWhenPosted;
    test::ServiceStandIn service{[this](const TestHttpRequest&, ResponseWriter& writer) {
        noteStoredIdentifier();
        writer.respond(201, "{}");
    }};

    void noteStoredIdentifier() {
        std::lock_guard lock(seenMutex);
        storedWhenPosted.push_back(settings->value(pendingIDKey));
    }

    InstallationReporter reporterPostingTo(const std::string& endpoint, std::chrono::milliseconds timeout = 5s) {
        return InstallationReporter(test::infoPostingTo("NudgerlyInstallEndpoint", endpoint), settings,
                                    std::make_shared<CurlHttpClient>(), timeout);
    }
    InstallationReporter reporter() { return reporterPostingTo(service.url("/api/install")); }

    std::vector<nlohmann::json> postedEvents() const {
        std::vector<nlohmann::json> events;
        for (const auto& request : service.server.requests()) {
            events.push_back(parseJson(request.body));
        }
        return events;
    }

    bool isPending() const { return !settings->boolean(reportedKey) && settings->value(pendingIDKey).has_value(); }
};

TEST_F(InstallationReporterTest, FirstShowingPostsTheEventOnceAndRemembersDelivery) {
    reporter().reportIfNeeded({});

    const auto events = postedEvents();
    ASSERT_EQ(events.size(), 1u);
    const auto& event = events.front();
    EXPECT_EQ(keysOf(event), (std::set<std::string>{"event_id", "app_version", "build_number", "platform"}));
    for (const auto& [key, value] : event.items()) {
        EXPECT_TRUE(value.is_string()) << key;
    }
    const std::string id = event["event_id"];
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")))
        << id;
    EXPECT_EQ(event["app_version"], "1.2");
    EXPECT_EQ(event["build_number"], "34");
    EXPECT_EQ(event["platform"], "linux");

    const auto request = service.server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path(), "/api/install");
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(request.header("accept"), "application/json");
    // The identifier was stored before the service saw the post, and is gone after its acceptance.
    ASSERT_EQ(storedWhenPosted.size(), 1u);
    EXPECT_EQ(storedWhenPosted.front(), nlohmann::json(id));
    EXPECT_EQ(settings->value(reportedKey), nlohmann::json(true));
    EXPECT_FALSE(settings->value(pendingIDKey).has_value());

    reporter().reportIfNeeded({});
    reporter().reportIfNeeded({});
    EXPECT_EQ(service.server.requestCount(), 1u);
}

TEST_F(InstallationReporterTest, FailedSendsKeepTheEventPendingAndRetryWithTheSameIdentifier) {
    service.answerWith(500, R"({"error":"busy"})");
    reporter().reportIfNeeded({});
    ASSERT_TRUE(isPending());
    const auto id = *settings->value(pendingIDKey);

    service.answerWith(302, "", {{"Location", service.url("/api/install")}});
    reporter().reportIfNeeded({});
    EXPECT_TRUE(isPending());

    reporterPostingTo(test::refusingAddress() + "/api/install").reportIfNeeded({});
    EXPECT_TRUE(isPending());

    // A service that takes too long, and a window that goes away while the post is in flight.
    std::counting_semaphore<> stalling{0};
    const auto stall = [&](const TestHttpRequest&, ResponseWriter& writer) {
        writer.writeHead(201, {}, 2);
        stalling.release();
        for (int i = 0; i < 500 && !service.server.isStopping(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
    };
    service.answerWith(stall);
    reporterPostingTo(service.url("/api/install"), 200ms).reportIfNeeded({});
    EXPECT_TRUE(isPending());
    ASSERT_TRUE(stalling.try_acquire_for(10s));
    {
        std::stop_source stop;
        std::atomic<std::chrono::steady_clock::time_point> stoppedAt{};
        std::jthread stopper([&] {
            stalling.try_acquire_for(10s);  // the post is under way
            stoppedAt = std::chrono::steady_clock::now();
            stop.request_stop();
        });
        reporter().reportIfNeeded(stop.get_token());
        stopper.join();
        EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt.load(), 2s);
    }
    EXPECT_TRUE(isPending());
    EXPECT_EQ(settings->value(pendingIDKey), id);

    service.answerWith(200, "");
    reporter().reportIfNeeded({});
    EXPECT_FALSE(isPending());
    for (const auto& event : postedEvents()) {
        EXPECT_EQ(event["event_id"], id);
    }
    EXPECT_EQ(postedEvents().size(), 5u);
}

TEST_F(InstallationReporterTest, AStoredIdentifierIsSentAsStoredAndAnUnusableOneIsReplaced) {
    settings->setString(pendingIDKey, "earlier-run-ID");
    reporter().reportIfNeeded({});
    EXPECT_EQ(postedEvents().back()["event_id"], "earlier-run-ID");

    for (const nlohmann::json& unusable : {nlohmann::json(""), nlohmann::json(7), nlohmann::json::array()}) {
        settings->remove(reportedKey);
        settings->set(pendingIDKey, unusable);
        service.answerWith(503, "");
        reporter().reportIfNeeded({});
        const auto stored = settings->value(pendingIDKey);
        ASSERT_TRUE(stored && stored->is_string()) << unusable;
        EXPECT_EQ(stored->get<std::string>().size(), 36u);
        EXPECT_EQ(postedEvents().back()["event_id"], *stored);
    }
}

TEST_F(InstallationReporterTest, WithoutBothVersionStringsNothingIsPostedOrWritten) {
    for (const nlohmann::json& dictionary :
         {nlohmann::json::object(),
          nlohmann::json{{"CFBundleShortVersionString", "1.2"},
                         {"NudgerlyInstallEndpoint", service.url("/api/install")}},
          nlohmann::json{{"CFBundleVersion", "34"}, {"NudgerlyInstallEndpoint", service.url("/api/install")}},
          nlohmann::json{{"CFBundleShortVersionString", 1.2},
                         {"CFBundleVersion", "34"},
                         {"NudgerlyInstallEndpoint", service.url("/api/install")}}}) {
        InstallationReporter(AppInfo(dictionary), settings, std::make_shared<CurlHttpClient>()).reportIfNeeded({});
    }
    EXPECT_EQ(service.server.requestCount(), 0u);
    EXPECT_TRUE(settings->allValues().empty());
}

TEST_F(InstallationReporterTest, ConcurrentShowingsPostTheSameEventWithoutWaitingForEachOther) {
    // Each post is held until both have arrived: a reporter that kept its lock across the post would
    // never let the second one through.
    std::mutex mutex;
    std::condition_variable bothArrived;
    int arrived = 0;
    int answeredTogether = 0;
    service.answerWith([&](const TestHttpRequest&, ResponseWriter& writer) {
        std::unique_lock lock(mutex);
        ++arrived;
        bothArrived.notify_all();
        const bool together = bothArrived.wait_for(lock, 3s, [&] { return arrived == 2; });
        answeredTogether += together ? 1 : 0;
        writer.respond(together ? 201 : 500, "");
    });
    auto shared = reporter();
    {
        std::jthread first([&] { shared.reportIfNeeded({}); });
        std::jthread second([&] { shared.reportIfNeeded({}); });
    }
    EXPECT_EQ(answeredTogether, 2);
    const auto events = postedEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["event_id"], events[1]["event_id"]);
    EXPECT_FALSE(isPending());
    EXPECT_EQ(settings->value(reportedKey), nlohmann::json(true));
}

// Records the request instead of sending it.
class RecordingHttpClient : public HttpClient {
public:
    HttpResponse send(const HttpRequest& request, std::stop_token) override {
        requests.push_back(request);
        return {.status = 204};
    }
    std::vector<HttpRequest> requests;
};

TEST(InstallationReporterDefaultsTests, PostsWithAFiveSecondTimeoutToTheBuiltInAddress) {
    auto http = std::make_shared<RecordingHttpClient>();
    auto settings = std::make_shared<InMemorySettingsStore>();
    InstallationReporter reporter(AppInfo({{"CFBundleShortVersionString", "1.2"},
                                           {"CFBundleVersion", "34"},
                                           {"NudgerlyInstallEndpoint", "http://install.example.com/api/install"}}),
                                  settings, http);
    reporter.reportIfNeeded({});
    ASSERT_EQ(http->requests.size(), 1u);
    EXPECT_EQ(http->requests.front().timeout, 5s);
    EXPECT_EQ(http->requests.front().url, "https://nudgerly-service.invalid/api/install");
    EXPECT_EQ(settings->value(reportedKey), nlohmann::json(true));
}

}  // namespace
}  // namespace nudgerly
