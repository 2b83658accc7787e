#pragma once

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "loopback/LoopbackHttpServer.h"
#include "platform/system/AppInfo.h"

// Helpers for tests of the services that post to the maker's service.
namespace nudgerly::test {

// An information dictionary with version 1.2, build 34 and `endpointKey` set to `endpoint`.
inline AppInfo infoPostingTo(const std::string& endpointKey, const std::string& endpoint) {
    return AppInfo(
        nlohmann::json{{"CFBundleShortVersionString", "1.2"}, {"CFBundleVersion", "34"}, {endpointKey, endpoint}});
}

// A loopback address where nothing listens: a server's port, taken after the server has gone.
inline std::string refusingAddress() {
    LoopbackHttpServer gone([](const TestHttpRequest&, ResponseWriter&) {});
    const std::string address = gone.baseUrl();
    gone.stop();
    return address;
}

// The member names of a JSON object.
inline std::set<std::string> keysOf(const nlohmann::json& object) {
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items()) {
        keys.insert(key);
    }
    return keys;
}

// The maker's service on loopback, whose answer a test may change between requests.
class ServiceStandIn {
public:
    using Answer = std::function<void(const TestHttpRequest&, ResponseWriter&)>;

    explicit ServiceStandIn(Answer answer) : answer_(std::move(answer)) {}

    void answerWith(Answer answer) {
        std::lock_guard lock(mutex_);
        answer_ = std::move(answer);
    }
    void answerWith(int status, std::string body, std::vector<std::pair<std::string, std::string>> headers = {}) {
        answerWith([=](const TestHttpRequest&, ResponseWriter& writer) { writer.respond(status, body, headers); });
    }

    std::string url(const std::string& path) const { return server.baseUrl() + path; }

private:
    std::mutex mutex_;
    Answer answer_;

public:
    // Declared last, so that it stops before the answer goes away.
    LoopbackHttpServer server{[this](const TestHttpRequest& request, ResponseWriter& writer) {
        Answer current;
        {
            std::lock_guard lock(mutex_);
            current = answer_;
        }
        current(request, writer);
    }};
};

}  // namespace nudgerly::test
