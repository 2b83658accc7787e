#include "loopback/FakeGmailApi.h"

#include <algorithm>
#include <thread>

#include "platform/formats/PercentEncoding.h"

namespace nudgerly::test {
namespace {

using namespace std::chrono_literals;

FakeGmailAnswer errorAnswer(int status, const std::string& message) {
    return {.status = status,
            .headers = {{"Content-Type", "application/json"}},
            .body = nlohmann::json{{"error", {{"code", status}, {"message", message}, {"status", "ERROR"}}}}.dump()};
}

FakeGmailAnswer jsonAnswer(std::string body) {
    return {.headers = {{"Content-Type", "application/json; charset=UTF-8"}}, .body = std::move(body)};
}

// The value of a query item, percent-decoded; absent when the target has no such item.
std::optional<std::string> queryItem(const std::string& target, const std::string& name) {
    const auto question = target.find('?');
    if (question == std::string::npos) {
        return std::nullopt;
    }
    std::string_view query = std::string_view(target).substr(question + 1);
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        const auto equals = item.find('=');
        if (PercentEncoding::decoded(item.substr(0, equals)) == name) {
            return equals == std::string_view::npos ? std::string() : PercentEncoding::decoded(item.substr(equals + 1));
        }
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    }
    return std::nullopt;
}

}  // namespace

FakeGmailApi::FakeGmailApi(bool tls)
    : server_([this](const TestHttpRequest& request, ResponseWriter& writer) { serve(request, writer); }, tls) {}

GmailApiEndpoint FakeGmailApi::endpoint() const {
    GmailApiEndpoint endpoint{.baseAddress = server_.baseUrl() + basePath};
    if (!server_.caFile().empty()) {
        endpoint.caFile = server_.caFile();
    }
    return endpoint;
}

void FakeGmailApi::setAccessToken(std::string token) {
    std::lock_guard lock(mutex_);
    accessToken_ = std::move(token);
}

void FakeGmailApi::setProfile(std::string emailAddress) {
    std::lock_guard lock(mutex_);
    profile_ = nlohmann::json{{"emailAddress", emailAddress}, {"messagesTotal", 1234}, {"historyId", "99"}}.dump();
}

void FakeGmailApi::addMessagePage(const std::string& pageToken,
                                  const std::vector<std::pair<std::string, std::string>>& idAndThreadID,
                                  std::optional<std::string> nextPageToken) {
    nlohmann::json page = nlohmann::json::object();
    if (!idAndThreadID.empty()) {
        page["messages"] = nlohmann::json::array();
        for (const auto& [id, threadID] : idAndThreadID) {
            page["messages"].push_back({{"id", id}, {"threadId", threadID}});
        }
    }
    if (nextPageToken) {
        page["nextPageToken"] = *nextPageToken;
    }
    page["resultSizeEstimate"] = idAndThreadID.size();
    std::lock_guard lock(mutex_);
    pages_[pageToken] = page.dump();
}

void FakeGmailApi::addThread(const std::string& threadID, nlohmann::json thread) {
    std::lock_guard lock(mutex_);
    threads_[threadID] = thread.dump();
}

void FakeGmailApi::script(const std::string& path, std::vector<FakeGmailAnswer> answers) {
    std::lock_guard lock(mutex_);
    auto& queue = scripts_[path];
    queue.insert(queue.end(), std::make_move_iterator(answers.begin()), std::make_move_iterator(answers.end()));
}

int FakeGmailApi::mostInFlight() const {
    std::lock_guard lock(mutex_);
    return mostInFlight_;
}

std::vector<std::string> FakeGmailApi::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

FakeGmailAnswer FakeGmailApi::answerFor(const TestHttpRequest& request) {
    std::lock_guard lock(mutex_);
    std::string path = request.path();
    if (!path.starts_with(basePath)) {
        return errorAnswer(404, "Not Found");
    }
    path.erase(0, std::string_view(basePath).size());
    if (auto script = scripts_.find(path); script != scripts_.end() && !script->second.empty()) {
        FakeGmailAnswer answer = std::move(script->second.front());
        script->second.pop_front();
        return answer;
    }
    if (accessToken_ && request.header("authorization") != "Bearer " + *accessToken_) {
        return errorAnswer(401, "Request had invalid authentication credentials.");
    }
    if (path == "/users/me/profile" && profile_) {
        return jsonAnswer(*profile_);
    }
    if (path == "/users/me/messages") {
        const auto page = pages_.find(queryItem(request.target, "pageToken").value_or(""));
        return page == pages_.end() ? errorAnswer(400, "Invalid pageToken") : jsonAnswer(page->second);
    }
    constexpr std::string_view threadsPath = "/users/me/threads/";
    if (path.starts_with(threadsPath)) {
        const std::string id = PercentEncoding::decoded(std::string_view(path).substr(threadsPath.size()));
        if (const auto thread = threads_.find(id); thread != threads_.end()) {
            return jsonAnswer(thread->second);
        }
    }
    return errorAnswer(404, "Requested entity was not found.");
}

void FakeGmailApi::serve(const TestHttpRequest& request, ResponseWriter& writer) {
    const std::string path = request.path().substr(std::min(request.path().size(), std::string_view(basePath).size()));
    {
        std::lock_guard lock(mutex_);
        mostInFlight_ = std::max(mostInFlight_, ++inFlight_);
        events_.push_back("begin " + path);
    }
    const FakeGmailAnswer answer = answerFor(request);
    {
        // Bounded, so that a client making fewer calls at once fails its test instead of hanging.
        std::unique_lock lock(mutex_);
        if (answer.heldInGroupsOf > 0) {
            const int groupEnd = (heldCount_++ / answer.heldInGroupsOf + 1) * answer.heldInGroupsOf;
            heldChanged_.notify_all();
            heldChanged_.wait_for(lock, 10s, [&] { return heldCount_ >= groupEnd || server_.isStopping(); });
        }
    }
    const auto until = std::chrono::steady_clock::now() + answer.delay;
    while (std::chrono::steady_clock::now() < until && !server_.isStopping()) {
        std::this_thread::sleep_for(5ms);
    }
    {
        // Logged before the answer leaves, so a client that reacts to it always comes after.
        std::lock_guard lock(mutex_);
        events_.push_back("end " + path);
        --inFlight_;
    }
    if (answer.drop) {
        writer.drop();
    } else {
        writer.respond(answer.status, answer.body, answer.headers);
    }
}

}  // namespace nudgerly::test
