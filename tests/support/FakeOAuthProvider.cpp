#include "support/FakeOAuthProvider.h"

#include <thread>

#include <nlohmann/json.hpp>

#include "files/TempDir.h"
#include "platform/formats/PercentEncoding.h"

namespace nudgerly::test {
namespace {

std::map<std::string, std::string> formFields(std::string body) {
    std::map<std::string, std::string> fields;
    for (char& c : body) {
        if (c == '+') {
            c = ' ';
        }
    }
    std::string_view rest = body;
    while (!rest.empty()) {
        const auto ampersand = rest.find('&');
        const std::string_view item = rest.substr(0, ampersand);
        const auto equals = item.find('=');
        fields[PercentEncoding::decoded(item.substr(0, equals))] =
            equals == std::string_view::npos ? "" : PercentEncoding::decoded(item.substr(equals + 1));
        rest = ampersand == std::string_view::npos ? std::string_view() : rest.substr(ampersand + 1);
    }
    return fields;
}

}  // namespace

FakeTokenAnswer FakeTokenAnswer::tokens(const std::string& accessToken, std::optional<std::string> refreshToken,
                                        std::optional<int> expiresIn, std::optional<std::string> scope) {
    nlohmann::json body{{"access_token", accessToken}, {"token_type", "Bearer"}};
    if (refreshToken) {
        body["refresh_token"] = *refreshToken;
    }
    if (expiresIn) {
        body["expires_in"] = *expiresIn;
    }
    if (scope) {
        body["scope"] = *scope;
    }
    return {.status = 200, .body = body.dump()};
}

FakeOAuthProvider::FakeOAuthProvider()
    : server_([this](const TestHttpRequest& request, ResponseWriter& writer) { serve(request, writer); }) {}

FakeOAuthProvider::~FakeOAuthProvider() {
    release();  // before the server joins its threads
}

std::string FakeOAuthProvider::tokenAddress() const {
    return server_.baseUrl() + "/token";
}

OAuthClient FakeOAuthProvider::client(const std::string& secret) const {
    return {.clientID = "test-client.apps.example.com",
            .clientSecret = secret,
            .authURI = authorizationAddress,
            .tokenURI = tokenAddress()};
}

void FakeOAuthProvider::writeClientFile(const std::filesystem::path& dataDirectory, const OAuthClient& client) {
    writeTestFile(dataDirectory / "google-oauth-client.json", nlohmann::json{{"installed", client.toJson()}}.dump());
}

void FakeOAuthProvider::script(std::vector<FakeTokenAnswer> answers) {
    std::lock_guard lock(mutex_);
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

bool FakeOAuthProvider::waitUntilHeld(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return heldArrived_; });
}

void FakeOAuthProvider::release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
}

std::vector<std::map<std::string, std::string>> FakeOAuthProvider::forms() const {
    std::vector<std::map<std::string, std::string>> forms;
    for (const auto& request : server_.requests()) {
        forms.push_back(formFields(request.body));
    }
    return forms;
}

void FakeOAuthProvider::serve(const TestHttpRequest& request, ResponseWriter& writer) {
    FakeTokenAnswer answer{.status = 500, .body = R"({"error":"server_error"})"};
    {
        std::lock_guard lock(mutex_);
        if (request.method == "POST" && request.path() == "/token" && !answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
    }
    if (answer.held) {
        std::unique_lock lock(mutex_);
        heldArrived_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
    }
    const auto until = std::chrono::steady_clock::now() + answer.delay;
    while (std::chrono::steady_clock::now() < until && !server_.isStopping()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    writer.respond(answer.status, answer.body, {{"Content-Type", "application/json"}});
}

}  // namespace nudgerly::test
